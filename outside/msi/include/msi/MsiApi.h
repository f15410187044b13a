#pragma once

// The installer calls that custom actions make, with the installer's
// shapes: handles are 32-bit numbers, texts are UTF-16 and result codes are
// the installer's. Every action library and the driver link the one shared
// library that implements them, so a process has one table of
// installations.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MSI_API __attribute__((visibility("default")))

typedef uint32_t MSIHANDLE;

// Result codes.
enum {
  kMsiSuccess = 0,
  kMsiInvalidHandle = 6,
  kMsiInvalidParameter = 87,
  kMsiMoreData = 234,
  kMsiUnknownFeature = 1606,
  kMsiUnknownProperty = 1608,
};

// Feature states.
enum {
  kMsiStateAdvertised = 1,
  kMsiStateAbsent = 2,
  kMsiStateLocal = 3,
  kMsiStateSource = 4,
};

// Answers of MsiAskUserYesNo.
enum {
  kMsiAnswerYes = 6,
  kMsiAnswerNo = 7,
};

// Reads a property into buffer. *size is the buffer's capacity in UTF-16
// units on entry and the value's length (without terminator) on return.
// kMsiMoreData when the value and a terminator do not fit: the buffer then
// holds the first capacity - 1 units and a terminator. A property that was
// never set (or was removed) fails with kMsiUnknownProperty, leaving "" in
// the buffer when there is room and 0 in *size.
MSI_API uint32_t MsiGetPropertyW(MSIHANDLE install, const char16_t* name, char16_t* buffer,
                                 uint32_t* size);
// Sets a property; a null value removes it, "" keeps it, empty.
MSI_API uint32_t MsiSetPropertyW(MSIHANDLE install, const char16_t* name, const char16_t* value);
// Sets the requested state (1 to 4) of a feature the installation declares;
// kMsiUnknownFeature for another feature, kMsiInvalidParameter for another
// state.
MSI_API uint32_t MsiSetFeatureStateW(MSIHANDLE install, const char16_t* feature, int32_t state);
// Asks the installation's user a yes/no question; kMsiAnswerYes or
// kMsiAnswerNo. An unknown handle is answered no.
MSI_API int32_t MsiAskUserYesNo(MSIHANDLE install, const char16_t* caption, const char16_t* text);

#ifdef __cplusplus
}
#endif
