// Resume-next mode: a method that runs in it survives every runtime error.
//
// Each statement of such a method runs through Statement. A statement makes
// its floating-point tests at its own points, before it assigns, and reports
// the first runtime error it meets by returning it at once: the rest of the
// statement, its assignment included, is abandoned, and the method goes on
// with the next statement. A condition that the statement left untested is
// cleared at its end, so it cannot surface in the next statement. (Under
// runtime::FpScreen nothing is cleared: a marked run is made again.)
#pragma once

#include "runtime/errors.h"
#include "runtime/fp_status.h"

namespace pelmora::runtime {

template <class Status = FpStatus>
class ResumeNext {
 public:
  explicit ResumeNext(Status& fp) : fp_(fp) {}

  // Runs one statement; returns the runtime error that abandoned it, if any,
  // for callers that want to know (the method itself carries on regardless).
  template <class Body>
  RtError Statement(Body&& body) {
    const RtError raised = body();
    static_cast<void>(fp_.Test());
    return raised;
  }

 private:
  Status& fp_;
};

}  // namespace pelmora::runtime
