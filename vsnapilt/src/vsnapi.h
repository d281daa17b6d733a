// The command-language library: everything a caller of the VSN tree needs.
#ifndef VSNAPI_H
#define VSNAPI_H

#include "vsnArray.h"
#include "vsnDefaultHandle.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHandler.h"
#include "vsnHash.h"
#include "vsnListing.h"
#include "vsnMessage.h"
#include "vsnNameRules.h"
#include "vsnPath.h"
#include "vsnValue.h"

#endif
