#include "MeshSelectionCommand.h"

#include "zyrTrace.h"

#include <cstdio>
#include <cstring>

namespace {

// Splits a private copy of the text at blanks and tabs, as strtok does: the position after a token
// is just past the one delimiter that ended it, which is where a location string starts.
struct Tokens {
  std::string m_buffer;
  size_t m_position = 0;

  explicit Tokens(const char *text) : m_buffer(text) {}

  const char *next() {
    const size_t size = m_buffer.size();
    size_t start = m_position;
    while (start < size && (m_buffer[start] == ' ' || m_buffer[start] == '\t'))
      ++start;
    if (start >= size) {
      m_position = size;
      return nullptr;
    }
    size_t end = start;
    while (end < size && m_buffer[end] != ' ' && m_buffer[end] != '\t')
      ++end;
    if (end < size) {
      m_buffer[end] = '\0';
      m_position = end + 1;
    } else {
      m_position = size;
    }
    return m_buffer.c_str() + start;
  }
};

int readNumber(Tokens &tokens, double *value) {
  const char *token = tokens.next();
  return token != nullptr && std::sscanf(token, "%le", value) == 1 ? 1 : 0;
}

int readNumbers(Tokens &tokens, int32_t count, double *values) {
  for (int32_t i = 0; i < count; ++i)
    if (!readNumber(tokens, &values[i]))
      return 0;
  return 1;
}

// A bound is a number or "*" for none.
int readBound(Tokens &tokens, double *value, int32_t *given) {
  const char *token = tokens.next();
  if (token == nullptr)
    return 0;
  if (std::strcmp(token, "*") == 0) {
    *value = 0.0;
    *given = 0;
    return 1;
  }
  *given = 1;
  return std::sscanf(token, "%le", value) == 1 ? 1 : 0;
}

const char *const measureNames[] = {"volume", "beta", "min_edge_length", "max_edge_length", "edge_length_ratio"};

// Element type words in type-code order.
const char *const typeNames[] = {"nodes",      "edges",    "triangles", "quads",
                                 "tetrahedra", "pyramids", "prisms",    "hexahedra"};

const char *findName(const char *const *names, size_t count, const char *token) {
  for (size_t i = 0; i < count; ++i)
    if (std::strcmp(names[i], token) == 0)
      return names[i];
  return nullptr;
}

int32_t typeCode(const char *token) {
  for (int32_t i = 0; i < 8; ++i)
    if (std::strcmp(typeNames[i], token) == 0)
      return i;
  return -1;
}

// The rest of the text after "type": type words only.
int readTypes(Tokens &tokens, MeshSelectionStep *step) {
  int chosen[8] = {0};
  for (const char *token = tokens.next(); token != nullptr; token = tokens.next()) {
    const int32_t code = typeCode(token);
    if (code < 0)
      return 0;
    chosen[code] = 1;
  }
  step->m_noOfTypes = 0;
  for (int32_t i = 0; i < 8; ++i)
    if (chosen[i])
      step->m_types[step->m_noOfTypes++] = i;
  return 1;
}

} // namespace

int MeshSelectionCommand_parse(const char *text, int log, MeshSelectionStep *step) {
  step->m_kind = MESH_SELECTION_NO_KIND;
  step->m_criterion = MESH_SELECTION_INTERSECTING;
  step->m_shape = 0;
  for (double &number : step->m_numbers)
    number = 0.0;
  step->m_measure = nullptr;
  step->m_bounds[0] = step->m_bounds[1] = 0.0;
  step->m_boundFlags[0] = step->m_boundFlags[1] = 0;
  step->m_noOfTypes = 0;
  step->m_location.clear();
  if (text == nullptr)
    return 0;

  Tokens tokens(text);
  int negated = 0;
  for (const char *token = tokens.next(); token != nullptr; token = tokens.next()) {
    if (log)
      zyrTrace_printf("Key word = |%s|\n", token);
    double *numbers = step->m_numbers;
    if (std::strcmp(token, "not") == 0) {
      negated = 1;
    } else if (std::strcmp(token, "inside") == 0) {
      step->m_criterion = negated ? MESH_SELECTION_NOT_INSIDE : MESH_SELECTION_INSIDE;
    } else if (std::strcmp(token, "outside") == 0) {
      step->m_criterion = negated ? MESH_SELECTION_NOT_OUTSIDE : MESH_SELECTION_OUTSIDE;
    } else if (std::strcmp(token, "intersecting") == 0) {
      step->m_criterion = negated ? MESH_SELECTION_NOT_INTERSECTING : MESH_SELECTION_INTERSECTING;
    } else if (std::strcmp(token, "sphere") == 0) {
      if (!readNumbers(tokens, 4, numbers))
        return 0;
      step->m_kind = MESH_SELECTION_GEOMETRIC;
      step->m_shape = MESH_SELECTION_SPHERE;
    } else if (std::strcmp(token, "planex") == 0 || std::strcmp(token, "planey") == 0 ||
               std::strcmp(token, "planez") == 0) {
      double d;
      if (!readNumber(tokens, &d))
        return 0;
      // The normal points towards the smaller coordinate, so "inside" is the far side of d.
      const int axis = token[5] - 'x';
      for (int i = 0; i < 3; ++i)
        numbers[i] = i == axis ? -1.0 : 0.0;
      numbers[3] = d;
      step->m_kind = MESH_SELECTION_GEOMETRIC;
      step->m_shape = MESH_SELECTION_PLANE;
    } else if (std::strcmp(token, "planei") == 0) {
      if (!readNumbers(tokens, 4, numbers))
        return 0;
      step->m_kind = MESH_SELECTION_GEOMETRIC;
      step->m_shape = MESH_SELECTION_PLANE;
    } else if (std::strcmp(token, "box") == 0) {
      if (!readNumbers(tokens, 6, numbers))
        return 0;
      step->m_kind = MESH_SELECTION_GEOMETRIC;
      step->m_shape = MESH_SELECTION_BOX;
    } else if (const char *measure = findName(measureNames, 5, token)) {
      if (!readBound(tokens, &step->m_bounds[0], &step->m_boundFlags[0]) ||
          !readBound(tokens, &step->m_bounds[1], &step->m_boundFlags[1]))
        return 0;
      step->m_kind = MESH_SELECTION_QUALITY;
      step->m_measure = measure;
    } else if (std::strcmp(token, "type") == 0) {
      if (!readTypes(tokens, step))
        return 0;
      step->m_kind = MESH_SELECTION_TYPE;
    } else if (std::strcmp(token, "location") == 0) {
      // The raw rest of the caller's text, blanks included.
      const size_t length = std::strlen(text);
      step->m_location.assign(text + (tokens.m_position < length ? tokens.m_position : length));
      step->m_kind = MESH_SELECTION_LOCATION;
      return 1;
    } else {
      return 0;
    }
  }
  return step->m_kind != MESH_SELECTION_NO_KIND ? 1 : 0;
}
