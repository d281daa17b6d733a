// The exported interface of libzyr.so. Loading the library does no work of its own: every
// service below is created on first use.
namespace qiv {
namespace zyrapi {
// Present so the shared object always has a translation unit of its own.
int zyrExportUnitPresent = 1;
} // namespace zyrapi
} // namespace qiv
