#include "cl_app.h"
