#pragma once

#include "TarvoViewDelegate.h"

#include <QMenu>
#include <QString>
#include <QStringList>

#include <functional>

namespace tarvo::test {

// Notes the name of every call it receives with what it was given; refuses
// drops and menus unless told otherwise.
class RecordingViewDelegate final : public TarvoViewDelegate {
public:
    QStringList calls;
    // What the last call that carried them was given.
    std::vector<QUuid> lastItems;
    std::vector<QUuid> lastSelection;
    std::optional<QUuid> lastItem;
    bool lastAsPath = false;
    QPointF lastPoint;
    int lastIndex = -1;
    std::vector<std::pair<QUuid, int>> reorders;

    // The answers to the questions.
    bool accepts = false;
    bool takesDrops = false;
    bool takesChipDrops = false;
    std::function<std::unique_ptr<QMenu>()> menu;

    bool tarvoView(TarvoView&, const Pasteboard&) override { return note("canAccept", accepts); }
    bool tarvoView(TarvoView&, const Pasteboard&, QPointF at) override {
        lastPoint = at;
        return note("performDrop", takesDrops);
    }
    void tarvoView(TarvoView&, const std::vector<QUuid>& items, QPointF with) override {
        lastItems = items;
        lastPoint = with;
        note("beginDrag");
    }
    void tarvoViewDidActivate(TarvoView&, const QUuid& item) override {
        lastItem = item;
        note("activate");
    }
    void tarvoViewDidRequestQuickLookOf(TarvoView&, const std::vector<QUuid>& items) override {
        lastItems = items;
        note("quickLook");
    }
    void tarvoViewDidRequestRemovalOf(TarvoView&, const std::vector<QUuid>& items) override {
        lastItems = items;
        note("remove");
    }
    void tarvoViewDidRequestRetryOf(TarvoView&, const QUuid& item) override {
        lastItem = item;
        note("retry");
    }
    void tarvoViewDidRequestCopyOf(TarvoView&, const std::vector<QUuid>& items,
                                   bool asPath) override {
        lastItems = items;
        lastAsPath = asPath;
        note("copy");
    }
    void tarvoViewDidRequestRevealOf(TarvoView&, const QUuid& item) override {
        lastItem = item;
        note("reveal");
    }
    void tarvoViewDidRequestRuleFor(TarvoView&, const QUuid& item) override {
        lastItem = item;
        note("rule");
    }
    void tarvoViewDidReorder(TarvoView&, const QUuid& item, int to) override {
        reorders.emplace_back(item, to);
        lastIndex = to;
        note("reorder");
    }
    void tarvoViewSelectionDidChange(TarvoView&, const std::vector<QUuid>& selection) override {
        lastSelection = selection;
        note("selection");
    }
    void tarvoViewDidRequestEscape(TarvoView&) override { note("escape"); }
    void tarvoViewDidRequestUndo(TarvoView&) override { note("undo"); }
    void tarvoViewDidRequestPaste(TarvoView&) override { note("paste"); }
    void tarvoViewDidClickNotice(TarvoView&) override { note("notice"); }
    void tarvoViewDidTogglePinOf(TarvoView&, const QUuid& item) override {
        lastItem = item;
        note("pin");
    }
    void tarvoViewIslandHoverChanged(TarvoView&, bool hovering) override {
        note(hovering ? "hoverOn" : "hoverOff");
    }
    void tarvoViewDidClickBareIsland(TarvoView&) override { note("bareIsland"); }
    bool tarvoView(TarvoView&, const Pasteboard&, const QUuid& chip) override {
        lastItem = chip;
        return note("chipDrop", takesChipDrops);
    }
    void tarvoViewDidScrollDestinations(TarvoView&, bool) override { note("scrollChips"); }
    std::unique_ptr<QMenu> tarvoViewContextMenuFor(TarvoView&,
                                                   const std::optional<QUuid>& item) override {
        lastItem = item;
        note("menu");
        return menu ? menu() : nullptr;
    }

    // The calls other than hover and selection reports.
    QStringList intents() const {
        QStringList kept;
        for (const QString& call : calls) {
            if (call != QLatin1String("hoverOn") && call != QLatin1String("hoverOff") &&
                call != QLatin1String("selection"))
                kept << call;
        }
        return kept;
    }

private:
    bool note(const char* name, bool answer = false) {
        calls << QLatin1String(name);
        return answer;
    }
};

} // namespace tarvo::test
