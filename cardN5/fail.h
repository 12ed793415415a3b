// The one way a board operation records a failure: the code with the
// source file and line of the call site (the log line is the caller's).
#ifndef CARDN5_FAIL_H
#define CARDN5_FAIL_H

#include "errlog32.h"

namespace cardn5 {

constexpr const char* FileName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

}  // namespace cardn5

#define CARDN5_RECORD_ERROR(code) ERRLOG_SetLastDebugError((code), 0, cardn5::FileName(__FILE__), __LINE__)

// Program-wide error codes.
enum : int32_t {
  ERR_MBU_ADVANCE_MODE = 2001,
  ERR_CPH_POSITION = 2003,
  ERR_EPU_PREPARE = 2006,
  ERR_EPU_PLL = 2101,
  ERR_MBU_RANGE = 2109,
  ERR_IOD_SEND = 2142,
  ERR_IOD_RECEIVE = 2143,
  ERR_CREATE_CARDS = 2148,
  ERR_CPH_CALIBRATION = 2155,
  ERR_MBU_DIVIDER = 4004,
  ERR_DCA_INK = 4503,
  ERR_CPH_DEFOCUS = 4525,
  ERR_MBU_TRIGGER = 4694,
  ERR_MBU_CARD_ID = 4830,
};

#endif
