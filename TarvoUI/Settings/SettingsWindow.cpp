#include "SettingsWindow.h"

#include "AboutTab.h"
#include "AppsTab.h"
#include "GeneralTab.h"
#include "RulesTab.h"
#include "SettingsModel.h"

#include "TarvoCore/L10n.h"

#include <QIcon>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tarvo {

namespace {

// Icons from the desktop's theme standing for the tabs' symbols.
QIcon themed(const char* name, const char* fallback) {
    return QIcon::fromTheme(QLatin1String(name), QIcon::fromTheme(QLatin1String(fallback)));
}

} // namespace

SettingsWindowController::SettingsWindowController(SettingsModel& model)
    : m_model(model), m_window(std::make_unique<QWidget>()) {
    m_window->setWindowTitle(L10n::settingsTitle());
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                             Qt::WindowMinimizeButtonHint);
    m_window->setFixedSize(width, height);

    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(8, 8, 8, 8);
    m_tabs = new QTabWidget(m_window.get());
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(new GeneralTab(model), themed("preferences-system", "preferences-other"),
                   L10n::tabGeneral());
    m_tabs->addTab(new RulesTab(model), themed("view-list-details", "format-justify-fill"),
                   L10n::tabRules());
    m_tabs->addTab(new AppsTab(model), themed("applications-other", "view-grid"), L10n::tabApps());
    m_tabs->addTab(new AboutTab(model), themed("help-about", "dialog-information"),
                   L10n::tabAbout());
    layout->addWidget(m_tabs);

    m_tabs->setCurrentIndex(static_cast<int>(model.selectedTab()));
    QObject::connect(m_tabs, &QTabWidget::currentChanged, &model, [this](int index) {
        if (index >= 0)
            m_model.setSelectedTab(static_cast<SettingsTab>(index));
    });
    QObject::connect(&model, &SettingsModel::selectedTabChanged, m_tabs,
                     [this] { m_tabs->setCurrentIndex(static_cast<int>(m_model.selectedTab())); });

    // Escape closes it, as it does a dialog; a recorder that is listening
    // takes the key for itself first.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_window.get());
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, m_window.get(), &QWidget::close);

    // Centred on the screen the first time; the window manager keeps it
    // where the user moves it afterwards.
    if (const QScreen* screen = m_window->screen()) {
        const QRect area = screen->availableGeometry();
        m_window->move(area.center() - QPoint(width / 2, height / 2));
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::show() {
    // A window the user put away comes back in front, not only "shown":
    // show() keeps a minimised window minimised.
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace tarvo
