#pragma once

// The windows draw the front's own values; the session passes them on under
// its namespace, so that no window names the front or the core.
#include "front/front_views.h"

namespace zorvex::ui {

using zorvex::AddressView;
using zorvex::CardLook;
using zorvex::CardView;
using zorvex::ConvertOutcome;
using zorvex::DeleteQuestion;
using zorvex::DownloadEnd;
using zorvex::DroppedPaths;
using zorvex::DuplicateChoice;
using zorvex::ExitChoice;
using zorvex::FirewallOpening;
using zorvex::FirewallWarning;
using zorvex::FolderChoice;
using zorvex::KeepAwakeObstacle;
using zorvex::SelectionView;
using zorvex::ServedPlace;
using zorvex::TaskLook;
using zorvex::TaskRowView;
using zorvex::TaskStep;
using zorvex::UpdateCheck;

// A download's progress without a size to measure it by (the update
// module's value, which no window sees).
inline constexpr int kProgressUnknown = -1;

}  // namespace zorvex::ui
