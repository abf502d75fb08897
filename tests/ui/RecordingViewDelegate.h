#pragma once

#include "TarvoUI/TarvoViewDelegate.h"

#include <QMenu>
#include <QString>
#include <QStringList>

namespace tarvo::test {

// Notes the name of every call it receives; refuses drops and menus.
class RecordingViewDelegate final : public TarvoViewDelegate {
public:
    QStringList calls;

    bool tarvoView(TarvoView&, const Pasteboard&) override { return note("canAccept", false); }
    bool tarvoView(TarvoView&, const Pasteboard&, QPointF) override {
        return note("performDrop", false);
    }
    void tarvoView(TarvoView&, const std::vector<QUuid>&, QPointF) override { note("beginDrag"); }
    void tarvoViewDidActivate(TarvoView&, const QUuid&) override { note("activate"); }
    void tarvoViewDidRequestQuickLookOf(TarvoView&, const std::vector<QUuid>&) override {
        note("quickLook");
    }
    void tarvoViewDidRequestRemovalOf(TarvoView&, const std::vector<QUuid>&) override {
        note("remove");
    }
    void tarvoViewDidRequestRetryOf(TarvoView&, const QUuid&) override { note("retry"); }
    void tarvoViewDidRequestCopyOf(TarvoView&, const std::vector<QUuid>&, bool) override {
        note("copy");
    }
    void tarvoViewDidRequestRevealOf(TarvoView&, const QUuid&) override { note("reveal"); }
    void tarvoViewDidRequestRuleFor(TarvoView&, const QUuid&) override { note("rule"); }
    void tarvoViewDidReorder(TarvoView&, const QUuid&, int) override { note("reorder"); }
    void tarvoViewSelectionDidChange(TarvoView&, const std::vector<QUuid>&) override {
        note("selection");
    }
    void tarvoViewDidRequestEscape(TarvoView&) override { note("escape"); }
    void tarvoViewDidRequestUndo(TarvoView&) override { note("undo"); }
    void tarvoViewDidRequestPaste(TarvoView&) override { note("paste"); }
    void tarvoViewDidClickNotice(TarvoView&) override { note("notice"); }
    void tarvoViewDidTogglePinOf(TarvoView&, const QUuid&) override { note("pin"); }
    void tarvoViewIslandHoverChanged(TarvoView&, bool hovering) override {
        note(hovering ? "hoverOn" : "hoverOff");
    }
    void tarvoViewDidClickBareIsland(TarvoView&) override { note("bareIsland"); }
    bool tarvoView(TarvoView&, const Pasteboard&, const QUuid&) override {
        return note("chipDrop", false);
    }
    void tarvoViewDidScrollDestinations(TarvoView&, bool) override { note("scrollChips"); }
    std::unique_ptr<QMenu> tarvoViewContextMenuFor(TarvoView&,
                                                   const std::optional<QUuid>&) override {
        note("menu");
        return nullptr;
    }

private:
    bool note(const char* name, bool answer = false) {
        calls << QLatin1String(name);
        return answer;
    }
};

} // namespace tarvo::test
