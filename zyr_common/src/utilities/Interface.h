#ifndef ZYR_INTERFACE_H
#define ZYR_INTERFACE_H
// An output interface of the application. Types 0 and 1 write to the standard output; only an
// interface of type 1 prints a banner when the application terminates. Interfaces register with
// the interface manager, which terminates them all at the end of the run.
#include <cstdint>
#include <cstdio>

struct zyrInterfaceManager;

struct Interface {
  int32_t m_type;
  zyrInterfaceManager *m_manager;
  FILE *m_stream;
  int32_t m_id;
};

Interface *Interface_new(int32_t type);
void Interface_delete(Interface *interface);
// Type 1: the normal-termination banner naming the program, or the abnormal-termination box.
void Interface_terminate(Interface *interface, int normal);

#endif
