#pragma once

class QWidget;

// The getting-started panel that lies over the empty task list: a picture,
// the heading "Getting started:" and three lines on what to do. 568 x 335 at
// (11, 1) in the task area.
QWidget *BuildGettingStartedPanel(QWidget *taskArea);
