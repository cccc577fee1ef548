#include "UnitGlobal.h"

TRunMode RunMode = rmConfig;
std::string Param1;
std::string Param2;
