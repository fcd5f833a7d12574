// AddressSanitizer's defaults for the fuzz targets. The kernel code they
// run allocates nothing; only the test support does, a little on every
// input. A smaller quarantine and shorter allocation stacks keep that from
// costing a good part of each run in page faults and unwinding.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16:malloc_context_size=2";
}
