#ifndef ZYR_TOPOLOGY_LAYER_H
#define ZYR_TOPOLOGY_LAYER_H
// Initialisation of the topology layer: installs the store hooks of the persistent types this
// layer owns. Idempotent; call before any database is opened.
void zyrTopologyLayer_initialise();

#endif
