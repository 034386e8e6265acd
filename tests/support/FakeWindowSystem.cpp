#include "tests/support/FakeWindowSystem.h"

std::unique_ptr<TopLevelWindow> FakeWindowSystem::createWindow(std::uint32_t style,
                                                               std::uint32_t extStyle,
                                                               const std::string& title, Rect rect,
                                                               WindowProcedure procedure) {
    log.add("window create");
    if (!createWorks) {
        return nullptr;
    }
    auto made = std::make_unique<FakeTopLevelWindow>(style, extStyle, title, rect,
                                                     std::move(procedure), log);
    window = made.get();
    return made;
}

std::unique_ptr<Menu> FakeWindowSystem::loadMenu(int menuId) {
    log.add("menu load " + std::to_string(menuId));
    if (!menuTemplate || menuId != menuTemplateId) {
        return nullptr;
    }
    auto made = std::make_unique<FakeMenu>(menuTemplate->items, &log);
    menu = made.get();
    return made;
}

void FakeWindowSystem::messageBox(TopLevelWindow* owner, const std::string& text,
                                  const std::string& caption) {
    log.add("box " + text);
    boxes.push_back({owner, text, caption});
}

int FakeWindowSystem::runEventLoop() {
    quitCode.reset();
    if (runHook) {
        runHook();
    }
    while (!quitCode) {
        if (window && window->deliverPosted()) {
            continue;
        }
        if (!idle) {
            break;
        }
        idle();
        if (!quitCode && (!window || !window->hasPosted())) {
            break;
        }
    }
    return quitCode.value_or(-1);
}

void FakeWindowSystem::quit(int exitCode) {
    log.add("quit " + std::to_string(exitCode));
    quitCode = exitCode;
}
