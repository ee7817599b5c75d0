#pragma once
// One table per window: command id → handler and enable rule. The menu items
// and toolbar buttons share one QAction per id, which carries the id in its
// data, so a command can be triggered and inspected by id alone.
//
// A command without a handler is shown disabled; one without a rule is enabled
// whenever it has a handler. Rules are evaluated on the UI thread whenever a
// menu opens, when the event loop goes idle, and after every command.

#include <QAction>
#include <QObject>
#include <functional>
#include <map>

class CommandTable : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void()>;
    using EnableRule = std::function<bool()>;

    // The actions are children of owner, which outlives the table's use.
    explicit CommandTable(QObject* owner);

    // Creates the action of every command of the main window, all disabled.
    void AddStandardCommands();
    QAction* Add(int id, const QString& label, const QString& toolTip);

    // Binds a handler and an enable rule to a command id; an id the table
    // lacks gets an action without text.
    void Register(int id, Handler handler, EnableRule enableRule = {});

    QAction* Action(int id) const;
    bool IsEnabled(int id) const;
    // Runs the command if it is enabled now; true when it ran.
    bool Trigger(int id);
    // Shows every command's state as its rule says now.
    void UpdateEnabled();

    // Evaluates the rules whenever the thread's event loop is about to wait.
    void UpdateWhenIdle();

private:
    struct Entry {
        QAction* action = nullptr;
        Handler handler;
        EnableRule enableRule;
    };
    const Entry* Find(int id) const;

    QObject* owner_;
    std::map<int, Entry> entries_;
};

// The command id an action carries, 0 for none.
int CommandId(const QAction* action);
