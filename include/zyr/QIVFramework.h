#ifndef QIV_FRAMEWORK_H
#define QIV_FRAMEWORK_H
// The whole framework layer in one include.
#include "ErrorMsg.h"
#include "ErrorProgressReporter.h"
#include "GeometricAlgorithmInterface.h"
#include "IntQIVVector.h"
#include "OperationTimer.h"
#include "QIVError.h"
#include "QIVMessage.h"
#include "QIVVector.h"
#include "Quantity.h"
#include "StringUtilities.h"
#include "TripletBase.h"
#include "TripletQIVVector.h"
#include "UnitsConverter.h"

#endif
