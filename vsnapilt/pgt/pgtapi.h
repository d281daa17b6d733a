// The physics-reading interface: everything a caller needs.
#ifndef PGTAPI_H
#define PGTAPI_H

#include "CoordFrame.h"
#include "pgtDomain.h"
#include "pgtHandle.h"
#include "pgtInterface.h"
#include "pgtQuantity.h"

#endif
