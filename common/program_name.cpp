#include "common/program_name.h"

const char* program_name = nullptr;
