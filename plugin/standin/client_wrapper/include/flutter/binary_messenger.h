#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Receives the answer to a message; data is null and size 0 for an empty answer.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Handles one incoming message; reply must be called once.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

// The engine's message endpoint as the plug-in sees it.
class BinaryMessenger {
public:
    virtual ~BinaryMessenger() = default;

    virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                      BinaryReply reply = nullptr) const = 0;

    // A null handler removes the channel's handler.
    virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter
