#pragma once

#include <memory>
#include <string>

namespace flutter {

// A named method call with one optional argument value.
template <typename T>
class MethodCall {
public:
    MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
        : method_name_(method_name), arguments_(std::move(arguments)) {}
    virtual ~MethodCall() = default;

    MethodCall(const MethodCall&) = delete;
    MethodCall& operator=(const MethodCall&) = delete;

    const std::string& method_name() const { return method_name_; }
    // Null when the call carries no argument.
    const T* arguments() const { return arguments_.get(); }

private:
    std::string method_name_;
    std::unique_ptr<T> arguments_;
};

}  // namespace flutter
