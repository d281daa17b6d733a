#include "GmoWriter.h"

#include "KelvoElements.h"
#include "io_state.h"
#include "iocnt.h"
#include "iodata.h"
#include "zyrFault.h"
#include "zyrInterrupt.h"
#include "zyrHeldTemporary.h"
#include "zyrPlacement.h"
#include "zyrPause.h"
#include "zyrSystem.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The data-set library reports through a plain function; the writer at work collects it.
GmoWriter *g_current = nullptr;

int collect(const char *message, int32_t length) {
  if (g_current != nullptr && message != nullptr && length > 0) {
    g_current->m_messages.append(message, static_cast<size_t>(length));
    if (g_current->m_messages.back() != '\n')
      g_current->m_messages += '\n';
  }
  return 0;
}

// A request of the data-set library with a header of the given key and type.
struct Request {
  char m_what[IO_NAME_LEN] = "", m_where[IO_NAME_LEN] = "", m_type[IO_DATATYPE_LEN] = "";
  int32_t m_when = 0, m_noOfAttributes = 0, m_number = 0, m_blockFactor = 1;
  IO_string m_attributes[1];
  IO_header m_header = {m_what,       m_where,   &m_when, &m_noOfAttributes,
                        m_attributes, &m_number, m_type,  &m_blockFactor};
  IO_data m_data;

  Request() {
    memset(m_attributes, 0, sizeof m_attributes);
    iodata_init(collect, &m_data);
  }
  int send(GmoWriter *writer, int32_t request) {
    g_current = writer;
    const int status = iocntc(request, collect, &m_header, &m_data, writer->m_state);
    g_current = nullptr;
    return status;
  }
};

// The file is temporary and read once by the library, so its values go out plain: compressing
// them cost more than all the rest of the reader. Little-endian with 8-byte offsets, so that a
// mesh of any size fits. WEZ_FORMAT, when set, still decides.
int plainFormat(GmoWriter *writer) {
  Request r;
  char format[] = "l";
  r.m_data.m_chararray = format;
  return r.send(writer, IO_SET_DEFAULT_FORMAT);
}

int openFile(GmoWriter *writer) {
  Request r;
  r.m_data.m_chararray = const_cast<char *>(writer->m_name.c_str());
  *r.m_data.m_numchar = static_cast<int32_t>(writer->m_name.size());
  return r.send(writer, IO_OPEN_PRIMARY);
}

// One data set of `number` values of a plain type, or of characters with the string attribute.
int writeDataset(GmoWriter *writer, const char *what, const char *where, const char *type,
                 int64_t number, const void *values, bool strings) {
  if (writer->m_state == nullptr) {
    writer->m_messages += "The intermediate mesh file is not open.\n";
    return 0;
  }
  if (number < 0 || number > INT32_MAX) {
    writer->m_messages += std::string("The data set ") + what + " is too large.\n";
    return 0;
  }
  zyrPause_point("gmo.dataset");
  if (zyrInterrupt_signal() != 0) {
    writer->m_messages += "The writing was interrupted.\n";
    return 0;
  }
  Request r;
  snprintf(r.m_what, sizeof r.m_what, "%s", what);
  snprintf(r.m_where, sizeof r.m_where, "%s", where);
  snprintf(r.m_type, sizeof r.m_type, "%s", type);
  r.m_number = static_cast<int32_t>(number);
  if (strings) {
    r.m_noOfAttributes = 1;
    snprintf(r.m_attributes[0], sizeof r.m_attributes[0], "t=s");
  }
  void *array = const_cast<void *>(values);
  if (strcmp(type, "INTR") == 0) {
    r.m_data.m_intrarray = static_cast<int32_t *>(array);
    *r.m_data.m_numintr = r.m_number;
  } else if (strcmp(type, "DBLE") == 0) {
    r.m_data.m_dblearray = static_cast<double *>(array);
    *r.m_data.m_numdble = r.m_number;
  } else {
    r.m_data.m_chararray = static_cast<char *>(array);
    *r.m_data.m_numchar = r.m_number;
  }
  if (r.send(writer, IO_WRITE_DATASET) != IO_OK)
    return 0;
  ++writer->m_noOfDatasets;
  return 1;
}

std::vector<int32_t> indexPointer(const std::vector<int32_t> &sizes) {
  std::vector<int32_t> ip(1, 0);
  for (int32_t n : sizes)
    ip.push_back(ip.back() + n);
  return ip;
}

int writeTopology(GmoWriter *w, const KelvoModel *model) {
  std::vector<std::string> surfaceNames, volumeNames;
  std::vector<int32_t> partners, shellSizes, shells;
  for (const KelvoSurface &s : model->m_surfaces) {
    surfaceNames.push_back(s.m_name);
    partners.push_back(s.m_partner);
  }
  for (const KelvoVolume &v : model->m_volumes) {
    volumeNames.push_back(v.m_name);
    shellSizes.push_back(static_cast<int32_t>(v.m_surfaces.size()));
    shells.insert(shells.end(), v.m_surfaces.begin(), v.m_surfaces.end());
  }
  const std::vector<int32_t> shellIP = indexPointer(shellSizes);
  const int32_t nsf = static_cast<int32_t>(model->m_surfaces.size());
  const int32_t nvl = static_cast<int32_t>(model->m_volumes.size());
  if (!GmoWriter_writeInt(w, "ZYR/NSF", "EVERY", nsf) ||
      !GmoWriter_writeInt(w, "ZYR/NVL", "EVERY", nvl) ||
      !GmoWriter_writeStrings(w, "ZYR/CLBSF", "EVERY", surfaceNames) ||
      !GmoWriter_writeStrings(w, "ZYR/CLBVL", "EVERY", volumeNames) ||
      !GmoWriter_writeInts(w, "ZYR/KSFSF", "EVERY", partners.data(), nsf) ||
      !GmoWriter_writeInts(w, "ZYR/IPSFVL", "EVERY", shellIP.data(), nvl + 1) ||
      !GmoWriter_writeInts(w, "ZYR/KSFVL", "EVERY", shells.data(),
                           static_cast<int64_t>(shells.size())))
    return 0;
  const int32_t ncn = static_cast<int32_t>(model->m_composites.size());
  if (!GmoWriter_writeInt(w, "ZYR/NCN", "EVERY", ncn))
    return 0;
  if (ncn == 0)
    return 1;
  std::vector<std::string> names, components;
  std::vector<int32_t> sizes;
  for (const KelvoComposite &c : model->m_composites) {
    names.push_back(c.m_name);
    components.insert(components.end(), c.m_components.begin(), c.m_components.end());
    sizes.push_back(static_cast<int32_t>(c.m_components.size()));
  }
  const std::vector<int32_t> ip = indexPointer(sizes);
  return GmoWriter_writeStrings(w, "ZYR/CLBCN", "EVERY", names) &&
         GmoWriter_writeStrings(w, "ZYR/CNMCN", "EVERY", components) &&
         GmoWriter_writeInts(w, "ZYR/IPNMCN", "EVERY", ip.data(), ncn + 1);
}

int writeMesh(GmoWriter *w, const KelvoModel *model) {
  if (!GmoWriter_writeDoubles(w, "ZYR/CRDVX", "EVERY", model->m_coordinates.data(),
                              static_cast<int64_t>(model->m_coordinates.size())))
    return 0;
  if (!model->m_units.empty() && !GmoWriter_writeStrings(w, "ZYR/UNITS", "EVERY", {model->m_units}))
    return 0;
  const int32_t nes = static_cast<int32_t>(model->m_elementSets.size());
  if (!GmoWriter_writeInt(w, "ZYR/NES", "EVERY", nes))
    return 0;
  std::vector<int32_t> wez5;
  for (int32_t i = 0; i < nes; ++i) {
    const KelvoElementSet &es = model->m_elementSets[i];
    const KelvoElementType *type = KelvoElements_get(es.m_kind);
    const std::string where = "ES" + std::to_string(i);
    // Kinds whose solver order is the native one go out as they are, without a copy.
    bool same = true;
    for (int32_t v = 0; v < type->m_noOfVertices; ++v)
      same = same && type->m_wez5Position[v] == v;
    const int32_t *vertices = es.m_vertices.data();
    if (!same) {
      wez5.resize(es.m_vertices.size());
      KelvoElements_toWez5(es.m_kind,
                           static_cast<int64_t>(es.m_vertices.size()) / type->m_noOfVertices,
                           es.m_vertices.data(), wez5.data());
      vertices = wez5.data();
    }
    if (!GmoWriter_writeInt(w, "ZYR/TYPE", where.c_str(), type->m_wez5Code) ||
        !GmoWriter_writeInts(w, "ZYR/KVXPE", where.c_str(), vertices,
                             static_cast<int64_t>(es.m_vertices.size())))
      return 0;
  }
  std::vector<int32_t>().swap(wez5);
  const int32_t nfs = static_cast<int32_t>(model->m_faceSets.size());
  if (!GmoWriter_writeInt(w, "ZYR/NFS", "EVERY", nfs))
    return 0;
  std::vector<int32_t> labels;
  for (int32_t j = 0; j < nfs; ++j) {
    const KelvoFaceSet &fs = model->m_faceSets[j];
    const KelvoElementType *type = KelvoElements_get(model->m_elementSets[fs.m_elementSet].m_kind);
    const std::string where = "FS" + std::to_string(j);
    labels.clear();
    for (int32_t f : fs.m_faces)
      labels.push_back(type->m_wez5Face[f]);
    if (!GmoWriter_writeInts(w, "ZYR/KPEPF", where.c_str(), fs.m_elements.data(),
                             static_cast<int64_t>(fs.m_elements.size())) ||
        !GmoWriter_writeInts(w, "ZYR/KRFPF", where.c_str(), labels.data(),
                             static_cast<int64_t>(labels.size())) ||
        !GmoWriter_writeInt(w, "ZYR/ES", where.c_str(), fs.m_elementSet))
      return 0;
  }
  std::vector<int32_t> sets, setSizes, faceSets, faceSetSizes;
  for (const KelvoVolume &v : model->m_volumes) {
    sets.insert(sets.end(), v.m_elementSets.begin(), v.m_elementSets.end());
    setSizes.push_back(static_cast<int32_t>(v.m_elementSets.size()));
  }
  for (const KelvoSurface &s : model->m_surfaces) {
    faceSets.insert(faceSets.end(), s.m_faceSets.begin(), s.m_faceSets.end());
    faceSetSizes.push_back(static_cast<int32_t>(s.m_faceSets.size()));
  }
  const std::vector<int32_t> setIP = indexPointer(setSizes), faceSetIP = indexPointer(faceSetSizes);
  return GmoWriter_writeInts(w, "ZYR/KESVL", "EVERY", sets.data(),
                             static_cast<int64_t>(sets.size())) &&
         GmoWriter_writeInts(w, "ZYR/IPESVL", "EVERY", setIP.data(),
                             static_cast<int64_t>(setIP.size())) &&
         GmoWriter_writeInts(w, "ZYR/KFSSF", "EVERY", faceSets.data(),
                             static_cast<int64_t>(faceSets.size())) &&
         GmoWriter_writeInts(w, "ZYR/IPFSSF", "EVERY", faceSetIP.data(),
                             static_cast<int64_t>(faceSetIP.size()));
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

} // namespace

GmoWriter *GmoWriter_new(const char *name, std::string *error) {
  GmoWriter *writer = new GmoWriter();
  writer->m_name = name;
  writer->m_noOfDatasets = 0;
  writer->m_state = iostate_alloc();
  if (writer->m_state == nullptr || plainFormat(writer) != IO_OK || openFile(writer) != IO_OK) {
    *error = "Unable to create the intermediate mesh file \"" + writer->m_name + "\"";
    if (!writer->m_messages.empty())
      *error += ":\n" + trimmed(writer->m_messages);
    iostate_free(writer->m_state);
    delete writer;
    return nullptr;
  }
  return writer;
}

void GmoWriter_delete(GmoWriter *writer) {
  if (writer == nullptr)
    return;
  if (writer->m_state != nullptr) {
    Request().send(writer, IO_CLOSE_PRIMARY);
    iostate_free(writer->m_state);
  }
  delete writer;
}

void GmoWriter_print(const GmoWriter *writer, FILE *stream) {
  fprintf(stream, "GmoWriter: \"%s\", %s, %lld data sets written\n", writer->m_name.c_str(),
          writer->m_state ? "open" : "closed", (long long)writer->m_noOfDatasets);
  if (!writer->m_messages.empty())
    fprintf(stream, "%s", writer->m_messages.c_str());
  fflush(stream);
}

int GmoWriter_writeInt(GmoWriter *writer, const char *what, const char *where, int32_t value) {
  return writeDataset(writer, what, where, "INTR", 1, &value, false);
}

int GmoWriter_writeInts(GmoWriter *writer, const char *what, const char *where,
                        const int32_t *values, int64_t count) {
  return writeDataset(writer, what, where, "INTR", count, values, false);
}

int GmoWriter_writeDoubles(GmoWriter *writer, const char *what, const char *where,
                           const double *values, int64_t count) {
  return writeDataset(writer, what, where, "DBLE", count, values, false);
}

int GmoWriter_writeStrings(GmoWriter *writer, const char *what, const char *where,
                           const std::vector<std::string> &values) {
  std::string packed;
  for (const std::string &v : values) {
    packed.append(v.c_str()); // a text ends at its first zero byte
    packed += '\0';
  }
  return writeDataset(writer, what, where, "CHAR", static_cast<int64_t>(packed.size()),
                      packed.data(), true);
}

int GmoWriter_close(GmoWriter *writer) {
  if (writer->m_state == nullptr)
    return 0;
  // Closing answers nothing, but tells what it could not write (the index, or putting it on disc);
  // the file read again shows whether its index went out whole.
  const size_t told = writer->m_messages.size();
  Request().send(writer, IO_CLOSE_PRIMARY);
  const bool closed = writer->m_messages.size() == told;
  int32_t count = -1;
  Request check;
  check.m_data.m_intrarray = &count;
  *check.m_data.m_numintr = 1;
  const bool whole = closed && openFile(writer) == IO_OK && check.send(writer, IO_GET_ENTRY_COUNT) == IO_OK &&
                     count == writer->m_noOfDatasets;
  Request().send(writer, IO_CLOSE_PRIMARY);
  iostate_free(writer->m_state);
  writer->m_state = nullptr;
  if (!whole && count >= 0)
    writer->m_messages += "It lists " + std::to_string(count) + " data sets of " +
                          std::to_string(writer->m_noOfDatasets) + " written.\n";
  return whole ? 1 : 0;
}

int GmoWriter_writeModel(const KelvoModel *model, const char *path, int hold, std::string *error,
                         struct stat *written, const struct stat *source) {
  // Without a hold: written beside the file under a name of this process (what a killed reader
  // left goes at the next look), then flushed, renamed over the old file and the directory
  // flushed: the name holds the old file or the whole new one. With the hold of the file that the
  // importer made and holds, written in place, lent the hold: the importer reads it only once this
  // reader has ended well, and removes it whatever became of it.
  zyrPlacement place;
  zyrHeldTemporary held;
  if (hold >= 0 ? !zyrHeldTemporary_adopt(&held, path, hold) : !zyrPlacement_begin(&place, path, 4)) {
    const std::string why = hold >= 0 ? std::string(strerror(errno)) : zyrPlacement_reason(&place);
    *error = std::string("Unable to write the intermediate mesh file \"") + path + "\": " +
             (hold >= 0 ? "the descriptor " + std::to_string(hold) + " does not hold it (" + why + ")" : why);
    return 0;
  }
  // The mesh file itself is never written over: told by what the placement holds (or the hold),
  // whatever names lead to it, and a look at the hold that fails refuses.
  if (source != nullptr) {
    struct stat target = place.m_old;
    const bool seen = hold < 0 || zyrFault_fstat(held.m_hold, &target) == 0;
    if (!seen || ((hold >= 0 || place.m_exists) && zyrFileUse_isSame(target, *source))) {
      *error = !seen ? std::string("Unable to write the intermediate mesh file \"") + path +
                           "\": it cannot be looked at (" + strerror(errno) + ")"
                     : std::string("The intermediate file \"") + path +
                           "\" is the mesh file itself and would replace it.";
      zyrHeldTemporary_release(&held);
      return 0;
    }
  }
  GmoWriter *writer = GmoWriter_new(hold >= 0 ? path : place.m_temporary.m_name.c_str(), error);
  bool ok = writer != nullptr && writeTopology(writer, model) && writeMesh(writer, model);
  ok = writer != nullptr && GmoWriter_close(writer) && ok;
  // The file that takes the name: the held one, or the placement's temporary.
  if (ok && written != nullptr && fstat(hold >= 0 ? held.m_hold : place.m_temporary.m_hold, written) != 0)
    ok = false;
  if (ok && hold < 0 && zyrPlacement_commit(&place) != 1) {
    writer->m_messages += "Unable to rename it: " + zyrPlacement_reason(&place) + "\n";
    ok = false;
  }
  if (!ok && writer != nullptr) {
    *error = std::string("Unable to write the intermediate mesh file \"") + path + "\"";
    if (!writer->m_messages.empty())
      *error += ":\n" + trimmed(writer->m_messages);
  }
  GmoWriter_delete(writer);
  // The importer's file is the importer's to remove.
  zyrHeldTemporary_release(&held);
  return ok ? 1 : 0;
}
