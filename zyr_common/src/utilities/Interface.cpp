#include "Interface.h"

#include "zyrBanner.h"
#include "zyrCString.h"
#include "zyrInterfaceManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"

#include <cstring>

Interface *Interface_new(int32_t type) {
  Interface *interface = zyrMemory_allocateZeroedArray<Interface>(1, __func__);
  interface->m_type = type;
  if (type == 0 || type == 1)
    interface->m_stream = stdout;
  interface->m_manager = zyrInterfaceManager_get();
  interface->m_id = zyrInterfaceManager_addInterface(interface->m_manager, interface);
  return interface;
}

void Interface_delete(Interface *interface) {
  if (interface == nullptr)
    return;
  if (interface->m_manager != nullptr)
    zyrInterfaceManager_removeInterface(interface->m_manager, interface);
  zyrMemory_free(interface, __func__);
}

void Interface_terminate(Interface *interface, int normal) {
  if (interface == nullptr || interface->m_type != 1 || interface->m_stream == nullptr)
    return;
  FILE *stream = interface->m_stream;
  if (normal) {
    char *program = zyrLibrary_getProgramName();
    const char *name = program ? program : "UNKNOWN PROGRAM";
    std::fprintf(stream, "                  *** Normal termination of %s ***\n", name);
    printChars(stream, 18, ' ');
    // The underline is as long as the text after the 18 blanks above.
    printCharLine(stream, static_cast<int>(std::strlen(name)) + 30, '=');
    zyrCString_free(program);
  } else {
    std::fputs("\n  ************************************************************************\n"
               "  ***                                                                  ***\n"
               "  ***                      Abnormal termination!                       ***\n"
               "  ***                                                                  ***\n"
               "  ************************************************************************\n",
               stream);
  }
  std::fflush(stream);
}
