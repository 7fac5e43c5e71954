#include "registerread.h"

void cmdInput_Click(const RowContext&) {}
