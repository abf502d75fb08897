#include "RulesStore.h"

#include "AtomicFile.h"
#include "DefaultRules.h"
#include "FileError.h"
#include "Files.h"
#include "Json.h"
#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

namespace tarvo {

namespace {

constexpr char rulesName[] = "rules.json";
constexpr char categoriesName[] = "categories.json";
constexpr char copySuffix[] = ".bak";

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
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

RulesStore::RulesStore(const QString& directory) {
    Files::makeDirectories(directory);
    const QString folder = directory.endsWith(u'/') ? directory : directory + u'/';
    m_rulesURL = folder + QLatin1String(rulesName);
    m_categoriesURL = folder + QLatin1String(categoriesName);

    m_rules = DefaultRules::all();
    if (const auto bytes = readWhole(m_rulesURL)) {
        try {
            m_rules = decodeRules(*bytes);
        } catch (const json::DecodingError&) {
            m_keepRulesCopy = true;
        }
    }

    if (const auto bytes = readWhole(m_categoriesURL)) {
        try {
            m_categories = AppCategoryMap::fromJson(json::parse(*bytes));
        } catch (const json::DecodingError&) {
            m_keepCategoriesCopy = true;
        }
    }
}

void RulesStore::write(const QByteArray& data, const QString& path, bool& keepCopy) {
    if (keepCopy) {
        // Read again now: the copy is of what this write would replace.
        if (const auto old = readWhole(path)) {
            const QString copy = path + QLatin1String(copySuffix);
            try {
                AtomicFile::write(*old, copy);
            } catch (const FileError&) {
                // Without the copy the old file must stay; try again next time.
                Log::core().error(QStringLiteral("could not write %1").arg(lastComponent(copy)));
                return;
            }
        }
        keepCopy = false;
    }
    try {
        AtomicFile::write(data, path);
    } catch (const FileError&) {
        Log::core().error(QStringLiteral("could not write %1").arg(lastComponent(path)));
    }
}

void RulesStore::save() {
    write(encodeRules(m_rules), m_rulesURL, m_keepRulesCopy);
    write(json::write(m_categories.toJson(), json::Style::pretty), m_categoriesURL,
          m_keepCategoriesCopy);
    if (m_onChange)
        m_onChange();
}

void RulesStore::add(const Rule& rule) {
    m_rules.push_back(rule);
    save();
}

void RulesStore::update(const Rule& rule) {
    const auto it = std::find_if(m_rules.begin(), m_rules.end(),
                                 [&](const Rule& r) { return r.id == rule.id; });
    if (it == m_rules.end())
        return;
    *it = rule;
    save();
}

void RulesStore::remove(const QSet<QUuid>& ids) {
    std::erase_if(m_rules, [&](const Rule& r) { return ids.contains(r.id); });
    save();
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
