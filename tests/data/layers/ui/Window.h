#pragma once
#include "core/Upward.h"
