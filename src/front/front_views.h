#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/keep_awake_obstacle.h"

// What a front end shows: copies the front makes of the core's state, safe
// to keep and free of the core's types, so that no window needs a core header.
namespace zorvex {

// A card's badge, overlay and what screen readers hear.
enum class CardLook { Plain, Waiting, Converting, Converted, Interrupted, Missing };

// One video of the library, as a card draws it.
struct CardView {
    std::string itemId;
    std::string path;
    // The file's own name once examined, else the name it was added under.
    std::string name;
    // The name as the card writes it ("holiday...e.mp4").
    std::string shortName;
    std::string thumbnailPath;
    bool thumbUsable = false;
    CardLook look = CardLook::Plain;
    bool checked = false;
    // Only an examined card answers the mouse and the keyboard.
    bool examined = false;
    // Examined, but refused by the catalogue: no phone sees it.
    bool notShared = false;
    // What the examination found; 0 where it found nothing.
    std::int64_t durationMs = 0;
    std::int64_t bytes = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The state of a conversion task, as its row shows it.
enum class TaskLook { New, Waiting, Running, Done, Stopped, Interrupted, Failed };

// One task of the conversion queue, as its row draws it.
struct TaskRowView {
    std::string key;
    std::string name;  // the source's file name
    std::int64_t bytes = 0;
    std::string thumbnailPath;
    std::string modeLabel;  // "3D-1080P", ...
    TaskLook look = TaskLook::New;
    std::uint32_t percent = 0;  // 0..100 while running
    std::string failReason;     // why a failed task failed, for the user
    // Where the output goes: its own once its job started, else where it
    // would go now.
    std::string outputPath;
};

// What happened to a task; the queue's event codes, named.
enum class TaskStep { Waiting, Started, Done, Removed, Interrupted, Failed };

// What "删除" asks before the checked cards go: the weightiest loss among
// them, or nothing (none checked, or plain cards only, which lose nothing
// but their sharing).
enum class DeleteQuestion { None, Unasked, StopRunning, DeleteQueued, DeleteConverted };

// What the check marks make of "转码", "删除" and "全选".
struct SelectionView {
    bool convert = false;     // "转码" active: a checked card can be converted
    bool actions = false;     // "删除" active: a card is checked
    bool allChecked = false;  // "全选" checked: every card is
    bool operator==(const SelectionView&) const = default;
};

// Where "转码"'s batch stands after a step.
struct ConvertOutcome {
    // A duplicate output name waits for answerDuplicate: the (shortened)
    // name to ask about. The batch stops at that card until it is answered.
    std::optional<std::string> question;
    bool queued = false;  // the batch ended with at least one task asked for
};
// The answers to the duplicate-name question; Close ends the batch.
enum class DuplicateChoice { Continue, Skip, Close };

// Where the service stands, for the address box's tooltip.
struct ServedPlace {
    std::string address;
    std::string adapter;  // "" when the address was given, not found
};
// A firewall that keeps phones out of a served network, or may.
struct FirewallWarning {
    std::string firewall;  // "firewalld" or "ufw"
    std::string zone;      // firewalld's zone of the network's adapter
    bool certain = false;  // its rules shut the ports (else it may: ufw's are root's)
    std::string address;   // the network it stands before
    std::string command;   // what opens it from a terminal
};
// How the firewall's opening ended.
enum class FirewallOpening { Opened, Dismissed, Failed };

struct AddressView {
    std::string pin;                  // the pinned address; "" serves every network
    std::vector<ServedPlace> served;  // the networks served now
    bool pinAbsent = false;           // pinned to an address this machine lacks now
    bool portsHeld = false;           // another program holds a port: tried again
    std::optional<FirewallWarning> firewall;
};

// What the version check found, as the windows show it: UpdateOffered the
// download dialog, UpToDate and NoOffer the box "已是最新版", Failed the
// toast "服务器连接失败".
struct UpdateCheck {
    enum class Outcome { UpdateOffered, UpToDate, NoOffer, Failed };
    Outcome outcome = Outcome::Failed;
    std::string downloadUrl;  // with UpdateOffered only
    std::string versionName;  // with UpdateOffered only
};

// A drop, or --share, with its folders opened: the videos each folder holds
// in name order, the files as they came.
struct DroppedPaths {
    std::vector<std::string> files;
    bool emptyFolder = false;  // a folder held no video
};

// How the update download ended.
enum class DownloadEnd { Succeeded, Failed, Cancelled };

// How a save folder the user chose was taken: saved, refused as no file can
// be made in it (nothing changes), or taken but config.ini not written.
enum class FolderChoice { Saved, NotWritable, NotSaved };

// What "关闭" does: ask with the exit prompt, hide to the tray, or quit.
enum class ExitChoice { Ask, Hide, Quit };

}  // namespace zorvex
