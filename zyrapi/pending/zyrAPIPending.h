#ifndef ZYR_API_PENDING_H
#define ZYR_API_PENDING_H
// The entry points of the procedural interface that the lifecycle methods call, declared as the
// interface defines them until its own header is available to this layer.
#include <cstdio>

struct zyrError;

int zyrDatabase_open(const char *name, int *hDatabase, int *hModel);
int zyrDatabase_close(int hDatabase, int purgeHistory);
int zyrDatabase_copy(int hDatabase, const char *filename, int workOnCopy, int purgeHistory);
int zyrDatabase_saveCheckpoint(int hDatabase, int *checkpoint);
int zyrDatabase_restoreCheckpoint(int hDatabase, int checkpoint);
int zyrStrategy_setIntegerParameter(int hModel, const char *parameter, int value);
int zyrStrategy_getIntegerParameter(int hModel, const char *parameter, int *value);
int zyrStrategy_setStringParameter(int hModel, const char *parameter, const char *value);
int zyrStrategy_getStringParameter(int hModel, const char *parameter, char **value);
int zyrModel_dump(int hModel, int type, FILE *stream);
int zyrApp_getErrors(int *noOfErrors, zyrError ***errors);
int zyrApp_clearErrors();
int zyrApp_setWorkingDirectory(const char *directory);

#endif
