#include "features.h"

void show_features() {}
