#include "acquisition/shell/command_table.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <iterator>
#include <QThread>

#include "acquisition/shell/command_texts.h"

int CommandId(const QAction* action) { return action ? action->data().toInt() : 0; }

CommandTable::CommandTable(QObject* owner) : QObject(owner), owner_(owner) {}

namespace {
// "设置(&S)..." → "设置", "&Settings..." → "Settings"
QString WithoutMnemonic(QString label) {
    static const QRegularExpression decoration(QStringLiteral("\\(&.\\)|\\.\\.\\.$|&"));
    return label.remove(decoration);
}

QString Translated(const char* text) {
    return *text ? QCoreApplication::translate("Command", text) : QString();
}
}  // namespace

void CommandTable::AddStandardCommands() {
    for (const CommandText& text : kCommandTexts) {
        const QString label = Translated(text.label);
        QString toolTip = Translated(text.toolTip);
        const auto shortcut = std::find_if(std::begin(kCommandShortcuts), std::end(kCommandShortcuts),
                                           [&text](const CommandShortcut& s) { return s.id == text.id; });
        if (shortcut == std::end(kCommandShortcuts)) {
            Add(text.id, label, toolTip);
            continue;
        }
        const QKeySequence keys(QString::fromLatin1(shortcut->keys));
        if (toolTip.isEmpty()) toolTip = WithoutMnemonic(label);
        Add(text.id, label, toolTip + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + QLatin1Char(')'))
            ->setShortcut(keys);
    }
}

QAction* CommandTable::Add(int id, const QString& label, const QString& toolTip) {
    Entry& entry = entries_[id];
    if (entry.action) return entry.action;
    entry.action = new QAction(label, owner_);
    entry.action->setData(id);
    entry.action->setObjectName(QString::number(id));
    // An explicit tooltip, even an empty one, so Qt does not make one from the label.
    entry.action->setToolTip(toolTip);
    entry.action->setEnabled(false);
    connect(entry.action, &QAction::triggered, this, [this, id] { Trigger(id); });
    return entry.action;
}

void CommandTable::Register(int id, Handler handler, EnableRule enableRule) {
    Entry& entry = entries_[id];
    if (!entry.action) Add(id, QString(), QString());
    entry.handler = std::move(handler);
    entry.enableRule = std::move(enableRule);
    entry.action->setEnabled(IsEnabled(id));
}

const CommandTable::Entry* CommandTable::Find(int id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

QAction* CommandTable::Action(int id) const {
    const Entry* entry = Find(id);
    return entry ? entry->action : nullptr;
}

bool CommandTable::IsEnabled(int id) const {
    const Entry* entry = Find(id);
    if (!entry || !entry->handler) return false;
    return !entry->enableRule || entry->enableRule();
}

bool CommandTable::Trigger(int id) {
    if (!IsEnabled(id)) return false;
    // Copied: a handler may register its own command again while it runs.
    const Handler handler = Find(id)->handler;
    handler();
    UpdateEnabled();
    return true;
}

void CommandTable::UpdateEnabled() {
    for (auto& [id, entry] : entries_) {
        const bool enabled = IsEnabled(id);
        if (entry.action->isEnabled() != enabled) entry.action->setEnabled(enabled);
    }
}

void CommandTable::UpdateWhenIdle() {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CommandTable::UpdateEnabled);
    }
}
