#pragma once
#include "utils/regex/pattern.h"
#include "utils/regex/syntax.h"
