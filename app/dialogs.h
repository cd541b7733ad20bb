// The seven small fixed windows: failures, one confirmation, the acknowledgement of a
// received dump, and the about box.
#pragma once

#include <QDialog>
