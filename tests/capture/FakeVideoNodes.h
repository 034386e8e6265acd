#pragma once

#include "capture/V4l2Camera.h"
#include "tests/capture/FakeV4l2Camera.h"

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
        std::lock_guard lock(state->mutex);
        state->nodes[path] = {path, stableName, std::move(camera)};
    }
    void remove(const std::string& path) {
        std::lock_guard lock(state->mutex);
        state->nodes.erase(path);
    }
    int listings() const {
        std::lock_guard lock(state->mutex);
        return state->listings;
    }

    V4l2Camera::Machine machine(std::shared_ptr<HealthLine> health,
                                V4l2Camera::Timing timing = {}) const {
        return {[state = state] {
                    std::lock_guard lock(state->mutex);
                    ++state->listings;
                    std::vector<V4l2Node> nodes;
                    for (const auto& [path, node] : state->nodes) {
                        nodes.push_back({node.path, node.stableName});
                    }
                    return nodes;
                },
                [state = state](const std::string& path) -> std::unique_ptr<V4l2Device> {
                    std::unique_lock lock(state->mutex);
                    const auto found = state->nodes.find(path);
                    if (found == state->nodes.end()) {
                        errno = ENOENT;
                        return nullptr;
                    }
                    const auto camera = found->second.camera;
                    lock.unlock();
                    return camera->opener()(path);
                },
                std::move(health), timing};
    }

private:
    struct Node : V4l2Node {
        std::shared_ptr<FakeV4l2Camera> camera;
    };
    struct State {
        std::mutex mutex;
        std::map<std::string, Node> nodes;
        int listings = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
};
