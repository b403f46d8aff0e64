// A fresh program data directory for one test, selected through ZELLA_DATA_DIR, with the
// instance name reset around it.
#pragma once

#include "acctdb/acctdb.h"
#include "tests/support/temp_dir.h"

namespace acctdb_test {

class TempDataDir : public zella_test::ScopedDataDir {
public:
    TempDataDir() : zella_test::ScopedDataDir("acctdb") { acctdb::SetMultiHost(""); }
    ~TempDataDir() { acctdb::SetMultiHost(""); }
};

}  // namespace acctdb_test
