// The rules for names and values that the parser and the create operations apply.
#ifndef VSN_NAME_RULES_H
#define VSN_NAME_RULES_H

struct vsnHandle;

// role is "object type", "object name" or "parameter name". NULL when the name is acceptable,
// else an error text (the formatted ones in the handle's error slot).
const char* vsnCheckName(vsnHandle* h, const char* role, const char* name);
const char* vsnCheckValue(vsnHandle* h, const char* value);

// Tabs become blanks, runs of blanks one blank, and blanks at both ends go, in place: the form a
// name takes in a canonical path.
char* vsnCleanName(char* name);

#endif
