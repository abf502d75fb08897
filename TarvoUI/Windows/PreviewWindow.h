#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QScrollArea;
class QStackedLayout;

namespace tarvo {

// A quick look at the shelf's files: a picture for images and PDFs (their
// first page), the text of text files, and for anything else its icon, name,
// size and date. The arrow keys browse the files; Space or Escape closes it.
// Pictures are decoded off the main thread. Main thread only.
class PreviewWindow final : public QWidget {
public:
    enum class Kind { picture, text, summary };

    // Text files larger than this show their beginning.
    static constexpr qint64 maxTextBytes = 512 * 1024;

    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // Shows the first of `paths` and raises the window; an empty list closes it.
    void preview(std::vector<QString> paths);
    // Steps through the files, stopping at the ends.
    void showItem(std::size_t index);
    void step(int by);

    // Called each time the window closes.
    std::function<void()> onClosed;
    // Called each time the pointer leaves the window.
    std::function<void()> onPointerLeft;

    const std::vector<QString>& paths() const { return m_paths; }
    std::size_t index() const { return m_index; }
    Kind kind() const { return m_kind; }
    // Whether the picture of the current file is still being made.
    bool isLoading() const { return m_loading; }
    QString shownText() const;
    bool showsPicture() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showSummary(const QString& path);
    void pictureArrived(quint64 generation, const QImage& image);

    std::vector<QString> m_paths;
    std::size_t m_index = 0;
    Kind m_kind = Kind::summary;
    bool m_loading = false;
    quint64 m_generation = 0;
    QStackedLayout* m_stack = nullptr;
    QScrollArea* m_pictureArea = nullptr;
    QLabel* m_picture = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QLabel* m_summaryIcon = nullptr;
    QLabel* m_summary = nullptr;
    QWidget* m_summaryPage = nullptr;
    // Decoding answers check this before they touch the window.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace tarvo
