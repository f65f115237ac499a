// The table-file engine: the handle, opening and creating table files,
// record and field access, and the capacity rule.
#pragma once

#include "db/capacity.h"
#include "db/records.h"
#include "db/table_file.h"
#include "db/table_handle.h"
