#include "support/RunJob.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tharvel::test {

std::vector<TNotifyStrunct> runJob(const std::shared_ptr<TBackUpThread>& job,
                                   const std::shared_ptr<NotificationQueue>& queue) {
    job->Start();
    std::vector<TNotifyStrunct> notes;
    for (bool done = false; !done;) {
        queue->WaitForEntries(std::chrono::seconds(1));
        for (auto& entry : queue->TakeAll()) {
            EXPECT_FALSE(done) << "entry after the job-done entry";
            if (entry.jobDone)
                done = true;
            else
                notes.push_back(entry.note);
        }
    }
    EXPECT_TRUE(job->Finished());
    return notes;
}

}  // namespace tharvel::test
