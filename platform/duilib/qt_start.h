// What the window layer asks of Qt before the application object exists.
// The windows paint with QPainter only, so Qt's xcb platform is told to load
// no GL integration: the program then starts the same on every X server and
// GL driver (none of Mesa's drivers is loaded into the process). A value the
// user set in QT_XCB_GL_INTEGRATION is kept. Called by the program's start-up
// and by every test program that opens windows on an X server.
#pragma once

void PrepareQtForWindows();
