#include "registerdecoder.h"
