#pragma once

// The entry points of the DirectX set-up library that a product package
// carries ("dsetup.so" beside "dsetup32.so" in its DirectX folder), as the
// installer's DirectX action calls them. Texts are UTF-16.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Reports progress and questions during the set-up; answers 1 (OK).
typedef uint32_t (*DirectXSetupCallback)(uint32_t reason, uint32_t type, const char* text, const char* caption,
                                         void* progress);

int32_t DirectXSetupGetVersion(uint32_t* version, uint32_t* revision);
int32_t DirectXSetupSetCallback(DirectXSetupCallback callback);
// Shows the licence agreement; 6 (yes) when it was accepted.
int32_t DirectXSetupShowEULA(void* owner);
// Installs what flags ask for from folder.
int32_t DirectXSetupW(void* owner, const char16_t* folder, uint32_t flags);
// Copies at most capacity units of the licence text in language into buffer
// and returns the text's length; with a null buffer only the length.
uint32_t DirectXSetupGetEULAW(char16_t* buffer, uint32_t capacity, uint16_t language);

typedef int32_t (*DirectXSetupGetVersionFunction)(uint32_t*, uint32_t*);
typedef int32_t (*DirectXSetupSetCallbackFunction)(DirectXSetupCallback);
typedef int32_t (*DirectXSetupShowEULAFunction)(void*);
typedef int32_t (*DirectXSetupWFunction)(void*, const char16_t*, uint32_t);
typedef uint32_t (*DirectXSetupGetEULAWFunction)(char16_t*, uint32_t, uint16_t);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
// The runtime with its DirectDraw and DirectSound drivers.
inline constexpr uint32_t kDirectXSetupDirectX = 0x10018;
// The language of the Russian licence text.
inline constexpr uint16_t kDirectXLanguageRussian = 0x19;
#endif
