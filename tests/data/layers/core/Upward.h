#pragma once
// A ground-floor header that reaches up to the window: what the layer check must refuse.
#include "ui/Window.h"
