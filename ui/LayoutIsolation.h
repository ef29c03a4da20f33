#pragma once
// A label whose text changes with every frame (the status line of a data centre)
// would make its window recompute its whole layout each time: QLabel::setText
// asks its parent layout to re-measure, and that request climbs to the window,
// which then repaints everything that moved or might have. Isolated, the label
// sits in a host of its own that keeps the label's place in the layout and its
// size; the label fills the host, and its text changes reach no layout.
class QLabel;
class QWidget;

// Moves `label` into a host that takes its place (and its size policy and size
// hints as they are now) in the parent's layout. Returns the host. The label
// keeps its object name and parent chain below the same window.
QWidget* IsolateFromLayout(QLabel* label);
