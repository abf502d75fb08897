#include "RulesStore.h"

#include "AtomicFile.h"
#include "BackgroundWriter.h"
#include "DefaultRules.h"
#include "DiskIO.h"
#include "FileError.h"
#include "Files.h"
#include "Json.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tarvo {

namespace {

constexpr char rulesName[] = "rules.json";
constexpr char categoriesName[] = "categories.json";
constexpr char copySuffix[] = ".bak";

struct ReadOutcome {
    std::optional<QByteArray> bytes;
    // There is a file, but it could not be read: not the same as none.
    std::optional<QString> error;
};

ReadOutcome readWhole(const QString& path) {
    try {
        const int fd = DiskIO::openForReading(path);
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return {std::nullopt, file.errorString()};
        }
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return {std::nullopt, file.errorString()};
        return {std::move(bytes), std::nullopt};
    } catch (const FileError& error) {
        if (error.code() == ENOENT)
            return {};
        return {std::nullopt, error.description()};
    }
}

std::vector<Rule> decodeRules(const QByteArray& bytes) {
    const QJsonValue value = json::parse(bytes);
    if (!value.isArray())
        throw json::DecodingError::typeMismatch({}, QStringLiteral("Array<Any>"), value);
    const QJsonArray array = value.toArray();
    std::vector<Rule> rules;
    rules.reserve(static_cast<size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i)
        rules.push_back(Rule::fromJson(array.at(i), {QString::number(i)}));
    return rules;
}

QByteArray encodeRules(const std::vector<Rule>& rules) {
    QJsonArray array;
    for (const Rule& rule : rules)
        array.append(rule.toJson());
    return json::write(QJsonValue(array), json::Style::pretty);
}

QString lastComponent(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

QString RulesStore::defaultDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        throw FileError(QStringLiteral("find the data folder"), QStringLiteral("Tarvo"), ENOENT);
    Files::makeDirectories(data);
    return data + QStringLiteral("/Tarvo");
}

RulesStore::RulesStore(const QString& directory)
    : m_keepRulesCopy(std::make_shared<std::atomic<bool>>(false)),
      m_keepCategoriesCopy(std::make_shared<std::atomic<bool>>(false)),
      m_rulesWritten(std::make_shared<std::atomic<bool>>(true)),
      m_categoriesWritten(std::make_shared<std::atomic<bool>>(true)),
      m_writer(std::make_unique<BackgroundWriter>(QStringLiteral("com.tarvoapp.Tarvo.rules"))) {
    Files::makeDirectories(directory);
    const QString folder = directory.endsWith(u'/') ? directory : directory + u'/';
    m_rulesURL = folder + QLatin1String(rulesName);
    m_categoriesURL = folder + QLatin1String(categoriesName);
    for (const QString& path : {directory, m_rulesURL, m_categoriesURL})
        Files::tightenOne(path);

    m_rules = DefaultRules::all();
    const ReadOutcome rules = readWhole(m_rulesURL);
    if (rules.bytes) {
        try {
            m_rules = decodeRules(*rules.bytes);
        } catch (const json::DecodingError&) {
            m_keepRulesCopy->store(true);
        }
    } else if (rules.error) {
        m_rulesUnreadable = true;
        Log::core().error(
            QStringLiteral("%1; using the default rules and leaving the file as it is")
                .arg(*rules.error));
    }

    const ReadOutcome categories = readWhole(m_categoriesURL);
    if (categories.bytes) {
        try {
            m_categories = AppCategoryMap::fromJson(json::parse(*categories.bytes));
        } catch (const json::DecodingError&) {
            m_keepCategoriesCopy->store(true);
        }
    } else if (categories.error) {
        m_categoriesUnreadable = true;
        Log::core().error(
            QStringLiteral("%1; using the default categories and leaving the file as it is")
                .arg(*categories.error));
    }
}

bool RulesStore::write(const QByteArray& data, const QString& path,
                       const std::shared_ptr<std::atomic<bool>>& keepCopy, bool unreadable) {
    // The user's file may only be unreadable for now; defaults must not win
    // over it for good.
    if (unreadable)
        return false;
    const std::shared_ptr<std::atomic<bool>> written =
        path == m_rulesURL ? m_rulesWritten : m_categoriesWritten;
    m_writer->write(path, [data, path, keepCopy, written] {
        if (keepCopy->load()) {
            // Read again now: the copy is of what this write would replace.
            if (const auto old = readWhole(path).bytes) {
                const QString copy = path + QLatin1String(copySuffix);
                try {
                    AtomicFile::write(*old, copy);
                } catch (const FileError&) {
                    // Without the copy the old file must stay; the next save
                    // tries again.
                    Log::core().error(
                        QStringLiteral("could not write %1").arg(lastComponent(copy)));
                    written->store(false);
                    return;
                }
            }
            keepCopy->store(false);
        }
        try {
            AtomicFile::write(data, path);
            written->store(true);
        } catch (const FileError&) {
            Log::core().error(QStringLiteral("could not write %1").arg(lastComponent(path)));
            written->store(false);
        }
    });
    return true;
}

bool RulesStore::save() {
    const bool rulesWritten =
        write(encodeRules(m_rules), m_rulesURL, m_keepRulesCopy, m_rulesUnreadable);
    const bool categoriesWritten =
        write(json::write(m_categories.toJson(), json::Style::pretty), m_categoriesURL,
              m_keepCategoriesCopy, m_categoriesUnreadable);
    if (m_onChange)
        m_onChange();
    return rulesWritten && categoriesWritten;
}

RulesStore::~RulesStore() = default;

void RulesStore::waitForWrites() {
    m_writer->waitForIdle();
}

bool RulesStore::add(const Rule& rule) {
    m_rules.push_back(rule);
    return save();
}

bool RulesStore::update(const Rule& rule) {
    const auto it = std::find_if(m_rules.begin(), m_rules.end(),
                                 [&](const Rule& r) { return r.id == rule.id; });
    if (it == m_rules.end())
        return true;
    *it = rule;
    // The rule editor's Save: the person waits for the answer, so this one
    // change is written before it returns.
    if (!save())
        return false;
    waitForWrites();
    return m_rulesWritten->load() && m_categoriesWritten->load();
}

bool RulesStore::remove(const QSet<QUuid>& ids) {
    std::erase_if(m_rules, [&](const Rule& r) { return ids.contains(r.id); });
    return save();
}

void RulesStore::move(const QUuid& id, qsizetype index) {
    const auto it =
        std::find_if(m_rules.begin(), m_rules.end(), [&](const Rule& r) { return r.id == id; });
    if (it == m_rules.end())
        return;
    const auto from = static_cast<qsizetype>(it - m_rules.begin());
    const qsizetype to =
        std::clamp<qsizetype>(index, 0, static_cast<qsizetype>(m_rules.size()) - 1);
    if (from == to)
        return;
    Rule rule = std::move(*it);
    m_rules.erase(it);
    m_rules.insert(m_rules.begin() + to, std::move(rule));
    save();
}

void RulesStore::restoreDefaults() {
    m_rules = DefaultRules::all();
    save();
}

void RulesStore::setCategory(AppCategory category, const QString& bundleID) {
    m_categories.setCategory(category, bundleID);
    save();
}

bool RulesStore::noteSeen(const QString& bundleID) {
    const bool isNew = m_categories.noteSeen(bundleID);
    if (isNew)
        save();
    return isNew;
}

void RulesStore::pinApp(const QString& bundleID) {
    m_categories.pin(bundleID);
    save();
}

void RulesStore::unpinApp(const QString& bundleID) {
    m_categories.unpin(bundleID);
    save();
}

void RulesStore::forgetApp(const QString& bundleID) {
    m_categories.forget(bundleID);
    save();
}

} // namespace tarvo
