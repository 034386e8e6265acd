#pragma once

#include "platform/Menu.h"
#include "platform/MenuTemplate.h"
#include "platform/TopLevelWindow.h"
#include "platform/WindowSystem.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Where the window system's menus were shown, in order.
struct CallLog {
    std::vector<std::string> entries;
    std::vector<std::string> take() { return std::exchange(entries, {}); }
};

// A menu without a window, built from a menu template: its items with their popups, and
// the check and grey marks of the whole menu by command id, which it shares with its
// popups.
class FakeMenu : public Menu {
public:
    struct Item {
        std::string text;
        int id;
        std::unique_ptr<FakeMenu> popup;
    };
    struct Marks {
        std::set<int> checked, grayed;
    };

    FakeMenu(std::span<const MenuItemTemplate> templates, std::shared_ptr<Marks> marks,
             CallLog& log)
        : marks(marks)
        , log(log) {
        for (const MenuItemTemplate& entry : templates) {
            items.push_back({std::string(entry.text), entry.id,
                             entry.kind == MenuItemKind::Popup
                                 ? std::make_unique<FakeMenu>(entry.popup, marks, log)
                                 : nullptr});
        }
    }

    Menu* subMenu(int position) override {
        return position < itemCount() ? items[static_cast<std::size_t>(position)].popup.get()
                                      : nullptr;
    }
    int itemCount() const override { return static_cast<int>(items.size()); }
    void appendItem(int id, const std::string& text) override { items.push_back({text, id, {}}); }
    bool removeItem(int id) override {
        marks->checked.erase(id);
        return std::erase_if(items, [id](const Item& item) { return item.id == id; }) != 0;
    }
    bool checkItem(int id, bool checked) override { return mark(marks->checked, id, checked); }
    bool checkRadioItem(int first, int last, int checked) override {
        for (int id = first; id <= last; ++id) {
            checkItem(id, id == checked);
        }
        return true;
    }
    bool enableItem(int id, bool enabled) override { return mark(marks->grayed, id, !enabled); }
    bool setItemText(int id, const std::string& text) override {
        for (Item& item : items) {
            if (item.popup ? item.popup->setItemText(id, text) : item.id == id) {
                item.popup ? void() : void(item.text = text);
                return true;
            }
        }
        return false;
    }
    void track(Point screen, TopLevelWindow&) override {
        log.entries.push_back("track " + std::to_string(screen.x) + "," + std::to_string(screen.y));
    }

    bool isChecked(int id) const { return marks->checked.contains(id); }
    bool isGrayed(int id) const { return marks->grayed.contains(id); }
    std::vector<int> checkedAmong(int first, int last) const {
        return {marks->checked.lower_bound(first), marks->checked.upper_bound(last)};
    }

    std::vector<Item> items;

private:
    static bool mark(std::set<int>& marked, int id, bool on) {
        on ? void(marked.insert(id)) : void(marked.erase(id));
        return true;
    }

    std::shared_ptr<Marks> marks;
    CallLog& log;
};

// A top-level window without a screen, with a one-pixel border. The test delivers the
// window's messages by hand: input, timer ticks and what was posted (from any thread).
class FakeTopLevelWindow : public TopLevelWindow {
public:
    FakeTopLevelWindow(Rect rect, WindowProcedure procedure)
        : rect(rect)
        , procedure(std::move(procedure)) {}

    void showInitially(int command) override { visible = command != 0; }
    void hide() override { visible = false; }
    void show() override { visible = true, minimized = false; }
    void minimize() override { minimized = true; }
    void move(int x, int y) override { setGeometry(x, y, rect.width(), rect.height()); }
    void resize(int w, int h) override { setGeometry(rect.left, rect.top, w, h); }
    void setGeometry(int x, int y, int width, int height) override {
        rect = {x, y, x + width, y + height};
    }
    Rect windowRect() const override { return rect; }
    Rect clientRect() const override { return {0, 0, rect.width() - 2, rect.height() - 2}; }
    Rect normalRect() const override { return rect; }
    Point clientToScreen(Point client) const override {
        return {rect.left + 1 + client.x, rect.top + 1 + client.y};
    }
    void bringToForeground() override {}
    void captureMouse() override { mouseCaptured = true; }
    void releaseMouse() override { mouseCaptured = false; }
    bool setTimer(std::uintptr_t id, unsigned periodMs) override {
        timers[id] = periodMs;
        return true;
    }
    bool killTimer(std::uintptr_t id) override { return timers.erase(id) == 1; }
    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(postedMutex);
        posted.push_back({message, wParam, lParam});
    }
    void destroy() override {
        deliver(windowMessage::WM_DESTROY);
        destroyed = true;
        timers.clear();
    }
    void* nativeHandle() const override { return const_cast<FakeTopLevelWindow*>(this); }

    std::optional<std::intptr_t> deliver(std::uint32_t message, std::uintptr_t wParam = 0,
                                         std::intptr_t lParam = 0) {
        return destroyed ? std::nullopt : procedure(message, wParam, lParam);
    }
    // One tick of every timer the window has.
    void tick() {
        for (const auto& [id, periodMs] : std::map(timers)) {
            if (timers.contains(id)) {
                deliver(windowMessage::WM_TIMER, id, 0);
            }
        }
    }
    // Delivers the oldest posted message; false when none is waiting.
    bool deliverPosted() {
        std::unique_lock lock(postedMutex);
        if (posted.empty()) {
            return false;
        }
        const auto [message, wParam, lParam] = posted.front();
        posted.pop_front();
        lock.unlock();
        deliver(message, wParam, lParam);
        return true;
    }
    // Whether a message waits, one other than ignored if given.
    bool hasPosted(std::optional<std::uint32_t> ignored = std::nullopt) {
        std::lock_guard lock(postedMutex);
        return std::ranges::any_of(
            posted, [&](const auto& entry) { return std::get<0>(entry) != ignored; });
    }

    Rect rect;
    bool visible = false;
    bool minimized = false;
    bool mouseCaptured = false;
    bool destroyed = false;
    // Period by timer id.
    std::map<std::uintptr_t, unsigned> timers;
    std::deque<std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>> posted;

private:
    std::mutex postedMutex;
    WindowProcedure procedure;
};

// A window system without a screen: menus are built from the template the test gives, the
// desktop and the cursor are what the test sets. Its event loop delivers the posted
// messages of the last window made until quit, and runs idle whenever none is left.
class FakeWindowSystem : public WindowSystem {
public:
    std::unique_ptr<TopLevelWindow> createWindow(std::uint32_t, std::uint32_t, const std::string&,
                                                 Rect rect, WindowProcedure procedure) override {
        auto made = createWorks ? std::make_unique<FakeTopLevelWindow>(rect, procedure) : nullptr;
        window = made.get();
        return made;
    }
    std::unique_ptr<Menu> loadMenu(int) override {
        auto made = menuTemplate
                        ? std::make_unique<FakeMenu>(menuTemplate->items,
                                                     std::make_shared<FakeMenu::Marks>(), log)
                        : nullptr;
        menu = made.get();
        return made;
    }
    Rect desktopRect() const override { return {0, 0, 1024, 768}; }
    std::vector<Rect> workAreas() const override { return areas; }
    Point cursorPos() const override { return cursor; }
    void messageBox(TopLevelWindow*, const std::string& text, const std::string&) override {
        boxes.push_back(text);
    }
    void showText(const std::string& title, const std::string& text, bool open) override {
        if (open || texts.contains(title)) {
            texts[title] = text;
        }
    }
    int runEventLoop() override {
        for (quitCode.reset(); !quitCode;) {
            if (!window->deliverPosted()) {
                idle();
            }
        }
        return *quitCode;
    }
    void quit(int exitCode) override { quitCode = exitCode; }

    CallLog log;
    const MenuTemplate* menuTemplate = nullptr;
    bool createWorks = true;
    Point cursor;
    // The screens' work areas; one screen without panels unless the test says otherwise.
    std::vector<Rect> areas{{0, 0, 1024, 768}};
    std::function<void()> idle;
    // The last window made and the last menu loaded; they belong to whoever asked for them.
    FakeTopLevelWindow* window = nullptr;
    FakeMenu* menu = nullptr;
    std::vector<std::string> boxes;
    // The text windows' texts by title.
    std::map<std::string, std::string> texts;
    std::optional<int> quitCode;
};
