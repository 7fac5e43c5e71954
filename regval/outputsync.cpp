#include "outputsync.h"

void txtOutput_Validate(ValueForm, RowFields&, const BitWeightTable&) {}
