#pragma once

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/method_result.h>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace sorvansdk {

// What upgrade jobs share with the plug-in object, held by both so that a
// job may outlive the plug-in: the channel for progress messages (cleared
// when the plug-in goes), the road to the platform thread, and which
// devices have a job running.
class UpgradeHub : public std::enable_shared_from_this<UpgradeHub> {
public:
    // Posts a task to the platform thread, in order; false when it cannot.
    using TaskRunner = std::function<bool(std::function<void()>)>;

    // Without a runner, progress and answers are sent from the job's thread,
    // one at a time.
    UpgradeHub(flutter::MethodChannel<flutter::EncodableValue>* channel, TaskRunner runner);

    // The plug-in is going: no further progress messages.
    void Detach();

    struct Job {
        std::string key;             // one job per key at a time
        std::string function;        // library function, for the answer's texts
        std::string progressType;    // empty: the job reports no progress
        std::string debugPrefix;     // debugger line per progress value
        std::function<int(std::function<void(int)>)> work;
    };

    // Claims the job's key (a device) and runs the job on a detached thread
    // of its own; false, leaving `result` unanswered with the caller, when
    // another job holds the key. The answer (the work's result, or the
    // exception texts) reaches `result` on the platform thread after every
    // progress message, the key released just before. Throws, leaving
    // `result` with the caller and the key free, when the thread cannot start.
    bool Start(Job job, std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>& result);

private:
    void Release(const std::string& key);
    void Deliver(std::function<void()> task);
    void SendProgress(const std::string& type, int progress);

    std::recursive_mutex mutex_;
    flutter::MethodChannel<flutter::EncodableValue>* channel_;
    std::set<std::string> running_;
    TaskRunner runner_;
};

// The platform's debugger output (standard error where there is none).
void WriteDebugOutput(const std::string& text);

}  // namespace sorvansdk
