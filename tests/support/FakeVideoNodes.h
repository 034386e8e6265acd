#pragma once

#include "capture/v4l2/V4l2Camera.h"
#include "tests/support/FakeV4l2Camera.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

// The video nodes of a machine in memory: which fake camera sits on which node, under which
// stable name. Cameras come and go while the cameras under test look for them.
class FakeVideoNodes {
public:
    void plug(const std::string& path, std::shared_ptr<FakeV4l2Camera> camera,
              const std::string& stableName = "") {
        (std::lock_guard(state->mutex), state->nodes[path] = {stableName, std::move(camera)});
    }
    void remove(const std::string& path) {
        (std::lock_guard(state->mutex), state->nodes.erase(path));
    }
    // How often the nodes were listed.
    int listings() const { return (std::lock_guard(state->mutex), state->listings); }

    V4l2Camera::Machine machine(std::shared_ptr<HealthLine> health,
                                V4l2Camera::Timing timing = {}) const {
        const auto lister = [state = state] {
            std::lock_guard lock(state->mutex);
            ++state->listings;
            std::vector<V4l2Node> nodes;
            for (const auto& [path, node] : state->nodes) {
                nodes.push_back({path, node.first});
            }
            return nodes;
        };
        const auto opener = [state =
                                 state](const std::string& path) -> std::unique_ptr<V4l2Device> {
            std::unique_lock lock(state->mutex);
            const auto found = state->nodes.find(path);
            const auto camera = found == state->nodes.end() ? nullptr : found->second.second;
            lock.unlock();
            errno = ENOENT;
            return camera ? camera->opener()(path) : nullptr;
        };
        return {lister, opener, std::move(health), timing};
    }

private:
    struct State {
        std::mutex mutex;
        std::map<std::string, std::pair<std::string, std::shared_ptr<FakeV4l2Camera>>> nodes;
        int listings = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
};
