#pragma once

// The engine's message endpoint, as C functions (stand-in engine).

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "flutter_export.h"

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct _FlutterPlatformMessageResponseHandle FlutterDesktopMessageResponseHandle;

// Called with the answer to a message sent with a reply.
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);

typedef struct {
    size_t struct_size;
    const char* channel;
    const uint8_t* message;
    size_t message_size;
    // Pass to FlutterDesktopMessengerSendResponse exactly once.
    const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message, void* user_data);

FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                                const uint8_t* message, const size_t message_size);

FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                                         const uint8_t* message, const size_t message_size,
                                                         const FlutterDesktopBinaryReply reply, void* user_data);

FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                                        const FlutterDesktopMessageResponseHandle* handle,
                                                        const uint8_t* data, size_t data_length);

// A null callback removes the channel's callback.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                                       FlutterDesktopMessageCallback callback, void* user_data);

// The messenger is reference counted so that answers sent late (from work
// that outlives the engine) can find out whether the engine is still there:
// Lock, IsAvailable, send, Unlock.
FLUTTER_EXPORT FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

#if defined(__cplusplus)
}
#endif
