#include "pgtQuantity.h"

#include "pgtHandle.h"
#include "units.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

// Numbers in physics text use '.' whatever locale the host has chosen.
class CNumbers {
 public:
  CNumbers() {
    static locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    m_previous = c ? uselocale(c) : static_cast<locale_t>(0);
  }
  ~CNumbers() {
    if (m_previous) uselocale(m_previous);
  }
  CNumbers(const CNumbers&) = delete;
  CNumbers& operator=(const CNumbers&) = delete;

 private:
  locale_t m_previous;
};

void trimTrailingBlanks(char* unit) {
  size_t n = strlen(unit);
  while (n > 0 && (unit[n - 1] == ' ' || unit[n - 1] == '\t')) unit[--n] = '\0';
}

// Scale and offset from unit to target; false when they do not convert.
bool factor(char* unit, const char* target, double* scale, double* offset) {
  trimTrailingBlanks(unit);
  int status = -1;
  *scale = 1;
  *offset = 0;
  convert(unit, target ? target : "", scale, offset, &status);
  return status == 0;
}

} // namespace

int pgtReadQuantity(pgtHandle*, const char* text, const char* units, double* value) {
  if (!text || !value) return 0;
  double v = 0;
  char unit[100] = {0};
  int items;
  {
    CNumbers c;
    items = sscanf(text, "%le [ %99[^]]", &v, unit);
  }
  double scale, offset;
  if (items != 2 || !factor(unit, units, &scale, &offset)) return 0;
  double result = v * scale + offset;
  if (!std::isfinite(result)) return 0;
  *value = result;
  return 1;
}

int pgtReadVector(pgtHandle*, const char* text, const char* units, double values[3]) {
  if (!text || !values) return 0;
  double v[3] = {0, 0, 0};
  char unit[3][100] = {{0}, {0}, {0}};
  int items;
  {
    CNumbers c;
    items = sscanf(text, "%le [ %99[^]]] , %le [ %99[^]]] , %le [ %99[^]]", &v[0], unit[0], &v[1], unit[1], &v[2],
                   unit[2]);
  }
  if (items != 6) return 0;
  double out[3];
  for (int i = 0; i < 3; ++i) {
    double scale, offset;
    if (!factor(unit[i], units, &scale, &offset)) return 0;
    out[i] = v[i] * scale;
    if (!std::isfinite(out[i])) return 0;
  }
  for (int i = 0; i < 3; ++i) values[i] = out[i];
  return 1;
}

int pgtReadPoint(pgtHandle* h, const char* object, const char* stem, const char* units, double values[3]) {
  if (!h || !stem || !values) return 0;
  static const char* const kAxes[3] = {" X Coord", " Y Coord", " Z Coord"};
  double out[3];
  for (int i = 0; i < 3; ++i) {
    char* parameter = pgtJoin(h, __func__, stem, kAxes[i]);
    if (!parameter) return 0;
    const char* text = pgtGetParameter(h, __func__, object, parameter);
    free(parameter);
    if (!text || !pgtReadQuantity(h, text, units, &out[i])) return 0;
  }
  for (int i = 0; i < 3; ++i) values[i] = out[i];
  return 1;
}

int pgtNormalise(pgtHandle*, double v[3]) {
  if (!v || !std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return 0;
  // Scaled first so that neither huge nor tiny components overflow the sum of squares.
  double largest = std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[1]), std::fabs(v[2])));
  if (largest < 1e-300) return 0;
  double s[3] = {v[0] / largest, v[1] / largest, v[2] / largest};
  double norm = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  if (largest * norm < 1e-300) return 0;
  for (int i = 0; i < 3; ++i) v[i] = s[i] / norm;
  return 1;
}

char* cloneString(pgtHandle* h, const char* text) {
  if (!text) return nullptr;
  size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(pgtAlloc(h, n, __func__));
  if (copy) memcpy(copy, text, n);
  return copy;
}
