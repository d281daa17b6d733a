#include "KelvoTestSupport.h"

#include "KelvoElements.h"
#include "KelvoModel.h"
#include "KelvoThreads.h"
#include "io_dataset.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo_test {

namespace {

// Binary values in native or swapped byte order.
struct Bytes {
  std::string m_text;
  bool m_swap;
  template <class T> void put(T value) {
    char b[sizeof(T)];
    memcpy(b, &value, sizeof(T));
    if (m_swap)
      std::reverse(b, b + sizeof(T));
    m_text.append(b, sizeof(T));
  }
  void i32(int32_t v) { put(v); }
  void u64(uint64_t v) { put(v); }
  void f64(double v) { put(v); }
  Bytes &operator<<(const std::string &s) {
    m_text += s;
    return *this;
  }
};

std::string names(const TestMesh &mesh) {
  if (mesh.m_names.empty())
    return "";
  std::string text = "$PhysicalNames\n" + std::to_string(mesh.m_names.size()) + "\n";
  for (const TestMesh::Name &n : mesh.m_names)
    text +=
        std::to_string(n.m_dimension) + " " + std::to_string(n.m_tag) + " \"" + n.m_name + "\"\n";
  return text + "$EndPhysicalNames\n";
}

std::string number(double v) {
  char b[64];
  snprintf(b, sizeof b, "%.17g", v);
  return b;
}

int32_t dimensionOf(int32_t type) {
  const KelvoGmshType *t = KelvoElements_gmshType(type);
  return t ? t->m_dimension : 3;
}

} // namespace

std::string toMsh2(const TestMesh &mesh, bool binary, bool swap) {
  Bytes out{"", swap};
  out << "$MeshFormat\n2.2 " << (binary ? "1" : "0") << " 8\n";
  if (binary) {
    out.i32(1);
    out << "\n";
  }
  out << "$EndMeshFormat\n" << names(mesh);
  out << "$Nodes\n" << std::to_string(mesh.m_nodes.size()) << "\n";
  for (size_t i = 0; i < mesh.m_nodes.size(); ++i) {
    if (binary) {
      out.i32(static_cast<int32_t>(i + 1));
      for (double c : mesh.m_nodes[i])
        out.f64(c);
    } else {
      out << std::to_string(i + 1);
      for (double c : mesh.m_nodes[i])
        out << " " + number(c);
      out << "\n";
    }
  }
  if (binary)
    out << "\n";
  out << "$EndNodes\n$Elements\n" << std::to_string(mesh.m_elements.size()) << "\n";
  for (size_t i = 0; i < mesh.m_elements.size(); ++i) {
    const TestMesh::Element &e = mesh.m_elements[i];
    if (binary) {
      out.i32(e.m_type);
      out.i32(1);
      out.i32(2);
      out.i32(static_cast<int32_t>(i + 1));
      out.i32(e.m_physical);
      out.i32(e.m_entity);
      for (int64_t n : e.m_nodes)
        out.i32(static_cast<int32_t>(n));
    } else {
      out << std::to_string(i + 1) + " " + std::to_string(e.m_type) + " 2 " +
                 std::to_string(e.m_physical) + " " + std::to_string(e.m_entity);
      for (int64_t n : e.m_nodes)
        out << " " + std::to_string(n);
      out << "\n";
    }
  }
  if (binary)
    out << "\n";
  out << "$EndElements\n";
  return out.m_text;
}

std::string toMsh4(const TestMesh &mesh, bool binary, bool swap) {
  // Entities from the elements: (dimension, entity) -> physical tags.
  std::map<std::pair<int32_t, int32_t>, std::set<int32_t>> entities;
  std::vector<std::array<int32_t, 3>> blocks; // dimension, entity, type in first-use order
  for (const TestMesh::Element &e : mesh.m_elements) {
    std::set<int32_t> &physicals = entities[{dimensionOf(e.m_type), e.m_entity}];
    if (e.m_physical != 0)
      physicals.insert(e.m_physical);
    std::array<int32_t, 3> b = {dimensionOf(e.m_type), e.m_entity, e.m_type};
    if (std::find(blocks.begin(), blocks.end(), b) == blocks.end())
      blocks.push_back(b);
  }
  Bytes out{"", swap};
  out << "$MeshFormat\n4.1 " << (binary ? "1" : "0") << " 8\n";
  if (binary) {
    out.i32(1);
    out << "\n";
  }
  out << "$EndMeshFormat\n" << names(mesh) << "$Entities\n";
  uint64_t counts[4] = {0, 0, 0, 0};
  for (const auto &e : entities)
    ++counts[e.first.first];
  if (binary) {
    for (uint64_t c : counts)
      out.u64(c);
  } else {
    out << std::to_string(counts[0]) + " " + std::to_string(counts[1]) + " " +
               std::to_string(counts[2]) + " " + std::to_string(counts[3]) + "\n";
  }
  for (int dim = 0; dim < 4; ++dim) {
    for (const auto &e : entities) {
      if (e.first.first != dim)
        continue;
      const int doubles = dim == 0 ? 3 : 6;
      if (binary) {
        out.i32(e.first.second);
        for (int k = 0; k < doubles; ++k)
          out.f64(0.0);
        out.u64(e.second.size());
        for (int32_t p : e.second)
          out.i32(p);
        if (dim > 0)
          out.u64(0);
      } else {
        out << std::to_string(e.first.second);
        for (int k = 0; k < doubles; ++k)
          out << " 0";
        out << " " + std::to_string(e.second.size());
        for (int32_t p : e.second)
          out << " " + std::to_string(p);
        if (dim > 0)
          out << " 0";
        out << "\n";
      }
    }
  }
  if (binary)
    out << "\n";
  out << "$EndEntities\n$Nodes\n";
  const uint64_t n = mesh.m_nodes.size();
  if (binary) {
    out.u64(1);
    out.u64(n);
    out.u64(1);
    out.u64(n);
    out.i32(3);
    out.i32(1);
    out.i32(0);
    out.u64(n);
    for (uint64_t i = 0; i < n; ++i)
      out.u64(i + 1);
    for (const auto &xyz : mesh.m_nodes)
      for (double c : xyz)
        out.f64(c);
    out << "\n";
  } else {
    out << "1 " + std::to_string(n) + " 1 " + std::to_string(n) + "\n3 1 0 " + std::to_string(n) +
               "\n";
    for (uint64_t i = 0; i < n; ++i)
      out << std::to_string(i + 1) + "\n";
    for (const auto &xyz : mesh.m_nodes)
      out << number(xyz[0]) + " " + number(xyz[1]) + " " + number(xyz[2]) + "\n";
  }
  out << "$EndNodes\n$Elements\n";
  const uint64_t total = mesh.m_elements.size();
  if (binary) {
    out.u64(blocks.size());
    out.u64(total);
    out.u64(1);
    out.u64(total);
  } else {
    out << std::to_string(blocks.size()) + " " + std::to_string(total) + " 1 " +
               std::to_string(total) + "\n";
  }
  for (const auto &b : blocks) {
    std::vector<size_t> members;
    for (size_t i = 0; i < mesh.m_elements.size(); ++i) {
      const TestMesh::Element &e = mesh.m_elements[i];
      if (dimensionOf(e.m_type) == b[0] && e.m_entity == b[1] && e.m_type == b[2])
        members.push_back(i);
    }
    if (binary) {
      out.i32(b[0]);
      out.i32(b[1]);
      out.i32(b[2]);
      out.u64(members.size());
    } else {
      out << std::to_string(b[0]) + " " + std::to_string(b[1]) + " " + std::to_string(b[2]) + " " +
                 std::to_string(members.size()) + "\n";
    }
    for (size_t i : members) {
      if (binary) {
        out.u64(i + 1);
        for (int64_t node : mesh.m_elements[i].m_nodes)
          out.u64(static_cast<uint64_t>(node));
      } else {
        out << std::to_string(i + 1);
        for (int64_t node : mesh.m_elements[i].m_nodes)
          out << " " + std::to_string(node);
        out << "\n";
      }
    }
  }
  if (binary)
    out << "\n";
  out << "$EndElements\n";
  return out.m_text;
}

KelvoSplit::KelvoSplit(int64_t partitionSize, int32_t threads)
    : m_partitionSize(KelvoModel_setPartitionSize(partitionSize)),
      m_from(KelvoThreads_setFrom(threads > 1 ? 1 : INT64_MAX)),
      m_threads(KelvoThreads_set(threads)) {}

KelvoSplit::~KelvoSplit() {
  KelvoModel_setPartitionSize(m_partitionSize);
  KelvoThreads_setFrom(m_from);
  KelvoThreads_set(m_threads);
}

ElementColumns elementColumns(const MshFile *mesh) {
  ElementColumns columns;
  columns.m_starts.push_back(0);
  for (const MshElementRun &run : mesh->m_elementRuns) {
    for (int64_t e = run.m_first; e < run.m_first + run.m_count; ++e) {
      columns.m_kinds.push_back(run.m_kind);
      columns.m_physicals.push_back(run.m_physical);
      columns.m_entities.push_back(run.m_entity);
      columns.m_starts.push_back(MshFile_cornersAt(run, e) + run.m_corners);
    }
  }
  return columns;
}

TestMesh twoTets(int32_t physicalA, int32_t physicalB) {
  TestMesh mesh;
  mesh.m_nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
  mesh.m_elements = {{4, physicalA, 1, {1, 2, 3, 4}},
                     {4, physicalB, physicalA == physicalB ? 1 : 2, {2, 3, 4, 5}}};
  return mesh;
}

std::string meshPath(const std::string &name) {
  return std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/" + name;
}

std::string key(const std::string &what, const std::string &where, int when) {
  return what + "@" + where + "@" + std::to_string(when);
}

namespace {
std::string g_messages;
int collect(const char *message, int32_t length) {
  g_messages.append(message, static_cast<size_t>(length));
  return 0;
}
} // namespace

std::map<std::string, Dataset> readDatasets(const std::string &path, std::string *error) {
  std::map<std::string, Dataset> result;
  g_messages.clear();
  IO_file file;
  iif_clear_record(&file);
  file.m_callback = collect;
  if (iif_open(&file, path.c_str(), "r") != IO_OK) {
    *error = "cannot open: " + g_messages;
    return result;
  }
  IO_index_cursor cursor;
  indextable_begin(file.m_indextable, &cursor);
  for (int32_t slot; (slot = indextable_next(file.m_indextable, &cursor)) >= 0;) {
    const char *text = indextable_entry(file.m_indextable, slot);
    IO_match match;
    if (text[0] != 'Y' || parseindex(collect, text, &match) != IO_OK)
      continue;
    IO_header *header = ioheader_alloc(collect);
    IO_data *data = iodata_alloc(collect);
    char format[3];
    int status = IO_SEEK_ERR;
    if (io_seek(file.m_stream, match.m_position, 0) == 0)
      status = read_located_dataset(collect, format, header, data, &file);
    if (status == IO_MEMORY_ERR && iodata_alloc_arrays(collect, data) == IO_OK &&
        io_seek(file.m_stream, match.m_position, 0) == 0)
      status = read_located_dataset(collect, format, header, data, &file);
    if (status == IO_OK) {
      Dataset d;
      d.m_type = header->m_datatype;
      for (int32_t a = 0; a < *header->m_numattrb && a < IO_MAXATTRB; ++a)
        d.m_attributes.emplace_back(header->m_attributes[a],
                                    strnlen(header->m_attributes[a], IO_STRING_LEN));
      if (data->m_intrarray)
        d.m_ints.assign(data->m_intrarray, data->m_intrarray + *data->m_numintr);
      if (data->m_dblearray)
        d.m_doubles.assign(data->m_dblearray, data->m_dblearray + *data->m_numdble);
      if (data->m_chararray) {
        std::string chars(data->m_chararray, static_cast<size_t>(*data->m_numchar));
        size_t start = 0;
        for (size_t z; (z = chars.find('\0', start)) != std::string::npos; start = z + 1)
          d.m_strings.push_back(chars.substr(start, z - start));
      }
      result[key(match.m_what, match.m_where, match.m_when)] = d;
    } else {
      *error += "cannot read " + std::string(match.m_what) + ": " + g_messages;
    }
    ioheader_free(collect, header);
    iodata_free(collect, data);
  }
  iif_close(&file);
  return result;
}

std::string kelvoPath() {
  std::string path = ZYR_TEST_HELPER_DIR;
  return path.substr(0, path.rfind('/')) + "/tools/kelvo/Kelvo.exe";
}

RunResult runKelvo(const std::vector<std::string> &arguments,
                   const std::vector<std::string> &environment) {
  RunResult result{-1, ""};
  const std::string program = kelvoPath();
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const std::string &a : arguments)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    for (const std::string &e : environment)
      putenv(strdup(e.c_str()));
    execv(program.c_str(), argv.data());
    zyrtest::leaveChild(127);
  }
  close(fds[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    result.m_output.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> block(const std::string &output, const std::string &begin,
                               const std::string &end) {
  const std::vector<std::vector<std::string>> all = blocks(output, begin, end);
  return all.empty() ? std::vector<std::string>{"<none>"} : all.front();
}

std::vector<std::vector<std::string>> blocks(const std::string &output, const std::string &begin,
                                             const std::string &end) {
  std::vector<std::vector<std::string>> found;
  size_t start = 0;
  bool inside = false;
  while (start < output.size()) {
    size_t nl = output.find('\n', start);
    if (nl == std::string::npos)
      nl = output.size();
    const std::string line = output.substr(start, nl - start);
    start = nl + 1;
    if (!inside && line == begin) {
      inside = true;
      found.emplace_back();
    } else if (inside && line == end) {
      inside = false;
    } else if (inside) {
      found.back().push_back(line);
    }
  }
  return found;
}

} // namespace kelvo_test
