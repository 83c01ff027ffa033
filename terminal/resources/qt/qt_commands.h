#pragma once
// Toolkit actions for halvo2's command table: one action per menu item or toolbar button, with
// its text, status-bar prompt, tool tip and the command id as its data, and the small button
// images of the two toolbars.

#include <QIcon>

#include "terminal/resources/halvo_resources.h"

class QAction;
class QMenu;
class QObject;
class QToolBar;

// An action for command `id`. A menu text keeps its "\t" and accelerator, which the toolkit
// shows right-aligned in the menu; the key itself belongs to the accelerator table.
QAction* MakeCommandAction(int id, const char* text, QObject* parent);

// The 16 x 15 button image of a toolbar command.
QIcon CommandIcon(int id);

// The command id an action stands for; 0 for none.
int CommandIdOf(const QAction* action);
