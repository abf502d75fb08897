#pragma once

#include "AppCategoryMap.h"
#include "RuleModel.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QUuid>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tarvo {

class BackgroundWriter;

// The user's rules and application categories, kept in "rules.json" and
// "categories.json" in one folder. Every change takes effect in memory at
// once and is written off the main thread, the newest version of each file
// winning; destroying the store finishes the writes. A missing or
// damaged rules file starts the six default rules; one that cannot be read is
// left alone and the defaults are used in memory. Main thread only.
class RulesStore final {
public:
    // The user's data folder (created when missing) plus "Tarvo", which is not
    // created here. Throws FileError when there is no data folder.
    static QString defaultDirectory();

    // Creates the folder as needed and loads both files; nothing is written,
    // and only a file that cannot be read is logged. Throws FileError only
    // when the folder cannot be made.
    explicit RulesStore(const QString& directory);
    ~RulesStore();
    RulesStore(const RulesStore&) = delete;
    RulesStore& operator=(const RulesStore&) = delete;

    // Readable and writable by the owner; change in place, then save().
    std::vector<Rule>& rules() { return m_rules; }
    const std::vector<Rule>& rules() const { return m_rules; }
    AppCategoryMap& categories() { return m_categories; }
    const AppCategoryMap& categories() const { return m_categories; }

    const QString& rulesURL() const { return m_rulesURL; }
    const QString& categoriesURL() const { return m_categoriesURL; }

    // Called at the end of every save().
    const std::function<void()>& onChange() const { return m_onChange; }
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // Hands both files to the writer (a failed write is logged there, never
    // thrown), then calls onChange. False when a file is left alone because
    // it could not be read: the change then lives in memory only.
    bool save();
    // Blocks until every file asked for so far is written (quit, tests).
    void waitForWrites();

    // Each saves and says whether the change will reach the files.
    bool add(const Rule& rule);
    // True without a write when no rule has the id. Waits for its write
    // and says whether it reached the files: the rule editor keeps a change
    // that did not.
    bool update(const Rule& rule);
    bool remove(const QSet<QUuid>& ids);
    void move(const QUuid& id, qsizetype index);
    void restoreDefaults();

    void setCategory(AppCategory category, const QString& bundleID);
    // Saves only when the identifier was new; returns whether it was.
    bool noteSeen(const QString& bundleID);
    void pinApp(const QString& bundleID);
    void unpinApp(const QString& bundleID);
    void forgetApp(const QString& bundleID);

private:
    bool write(const QByteArray& data, const QString& path,
               const std::shared_ptr<std::atomic<bool>>& keepCopy, bool unreadable);

    std::vector<Rule> m_rules;
    AppCategoryMap m_categories;
    QString m_rulesURL;
    QString m_categoriesURL;
    std::function<void()> m_onChange;
    // A file was there but did not decode: it is copied aside before the first
    // save replaces it, so one bad element never costs the user the whole
    // file. Cleared by the writer once the copy is made.
    std::shared_ptr<std::atomic<bool>> m_keepRulesCopy;
    std::shared_ptr<std::atomic<bool>> m_keepCategoriesCopy;
    // Whether the last write of each file reached it.
    std::shared_ptr<std::atomic<bool>> m_rulesWritten;
    std::shared_ptr<std::atomic<bool>> m_categoriesWritten;
    // A file was there but could not be read (not absent): it is never
    // overwritten, and the store works on defaults in memory.
    bool m_rulesUnreadable = false;
    bool m_categoriesUnreadable = false;
    std::unique_ptr<BackgroundWriter> m_writer;
};

} // namespace tarvo
