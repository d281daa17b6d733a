// A host of the installed library: only <zyr/...> headers and libzyr.so. Prints one line per
// check and exits 1 on the first wrong answer.
#include <zyr/QIVFramework.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char *what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok)
    ++failures;
}

void frameworkClasses() {
  double kelvin = 0;
  check(qiv::Quantity(20, "C").getValueIn("K", kelvin) && std::fabs(kelvin - 293.15) < 1e-9,
        "units conversion through the installed definitions");
  double value = 0;
  std::string units;
  check(qiv::StringUtilities::valueAsDouble("1.5 [mm]", value, units) && value == 1.5 && units == "mm",
        "quantity text");
  check(!qiv::UnitsConverter::instance().isValidUnits("no-such-unit"), "unknown units refused");
  check(qiv::_("%d of %s", 3, "four") == "3 of four", "message formatting");
  qiv::IntQIVVector numbers(3);
  check(numbers.size() == 3 && numbers[2] == 0, "framework vector");
}

} // namespace

int main() {
  frameworkClasses();
  return failures == 0 ? 0 : 1;
}
