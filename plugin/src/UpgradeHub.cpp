#include "UpgradeHub.h"

#include <cstdio>
#include <thread>
#include <utility>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace sorvansdk {

using flutter::EncodableMap;
using flutter::EncodableValue;

void WriteDebugOutput(const std::string& text) {
#if defined(_WIN32)
    OutputDebugStringA(text.c_str());
#else
    std::fputs(text.c_str(), stderr);
#endif
}

UpgradeHub::UpgradeHub(flutter::MethodChannel<EncodableValue>* channel, TaskRunner runner)
    : channel_(channel), runner_(std::move(runner)) {}

void UpgradeHub::Detach() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    channel_ = nullptr;
}

void UpgradeHub::Release(const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    running_.erase(key);
}

void UpgradeHub::Deliver(std::function<void()> task) {
    if (runner_) {
        // A runner that refuses has dropped the task: the engine is gone.
        runner_(std::move(task));
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    task();
}

void UpgradeHub::SendProgress(const std::string& type, int progress) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (channel_ == nullptr) return;
    EncodableMap message{{EncodableValue("type"), EncodableValue(type)},
                         {EncodableValue("progress"), EncodableValue(static_cast<int32_t>(progress))}};
    channel_->InvokeMethod("onProgressUpdate", std::make_unique<EncodableValue>(std::move(message)));
}

bool UpgradeHub::Start(Job job, std::unique_ptr<flutter::MethodResult<EncodableValue>>& result) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (!running_.insert(job.key).second) return false;
    }
    struct Running {
        Job job;
        std::unique_ptr<flutter::MethodResult<EncodableValue>> result;
    };
    auto running = std::make_shared<Running>();
    running->job = std::move(job);
    running->result = std::move(result);
    std::shared_ptr<UpgradeHub> hub = shared_from_this();
    try {
        std::thread([hub, running] {
            Job& task = running->job;
            std::function<void(int)> progress;
            if (!task.progressType.empty()) {
                progress = [hub, &task](int value) {
                    const std::string type = task.progressType;
                    hub->Deliver([hub, type, value] { hub->SendProgress(type, value); });
                    WriteDebugOutput(task.debugPrefix + std::to_string(value) + "%\n");
                };
            }
            bool ok = false;
            int value = 0;
            std::string error;
            try {
                value = task.work(progress);
                ok = true;
            } catch (const std::exception& e) {
                error = "Exception in " + task.function + ": " + e.what();
            } catch (...) {
                error = "Unknown exception in " + task.function;
            }
            // The camera and the library's function objects go before the
            // answer: once answered, the application may end the process.
            progress = nullptr;
            task.work = nullptr;
            const std::string key = task.key;
            std::shared_ptr<flutter::MethodResult<EncodableValue>> answer(std::move(running->result));
            hub->Deliver([hub, key, answer, ok, value, error] {
                hub->Release(key);
                if (ok) answer->Success(EncodableValue(static_cast<int32_t>(value)));
                else answer->Error("SORVANSDK_ERROR", error);
            });
        }).detach();
    } catch (...) {
        // The thread never ran: the answer is still the caller's to give.
        Release(running->job.key);
        result = std::move(running->result);
        throw;
    }
    return true;
}

}  // namespace sorvansdk
