#include "registerwrite.h"

void cmdOutput_Click(const RowContext&, int) {}
