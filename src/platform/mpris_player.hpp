#pragma once

#include <cstdint>
#include <functional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace mev {

// What the desktop's media controls show of the file that plays.
struct MprisTrack {
    std::string title;
    std::string artist;
    std::string album;
    std::string url;     // file:// URL of the file
    std::string artUrl;  // file:// URL of a cover picture, "" for none
    std::int64_t lengthUs = 0;  // 0 when not known
};

enum class MprisStatus { Stopped, Playing, Paused };

// The program as a media player on the session bus (org.mpris.MediaPlayer2), so that the
// desktop's media keys and controls reach it. The methods it is called with run the
// handlers on the main loop; a missing handler ignores its method.
class CMprisPlayer {
public:
    struct Handlers {
        std::function<void()> raise;
        std::function<void()> next;
        std::function<void()> previous;
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> playPause;
        std::function<void()> stop;
        // Seek: by offset microseconds; SetPosition: to a position in the track shown.
        // The player answers with SetPlayPosition(..., seeked = true) once it has moved.
        std::function<void(std::int64_t offsetUs)> seek;
        std::function<void(std::int64_t positionUs)> setPosition;
    };

    // connection: nullptr for the program's session bus (ClaimSessionBus). Nothing is
    // published when there is no bus.
    CMprisPlayer(Handlers handlers, const std::string& desktopEntry, const std::string& identity,
                 GDBusConnection* connection = nullptr);
    ~CMprisPlayer();
    CMprisPlayer(const CMprisPlayer&) = delete;
    CMprisPlayer& operator=(const CMprisPlayer&) = delete;

    void SetTrack(const MprisTrack& track);
    void SetStatus(MprisStatus status);
    MprisStatus GetStatus() const { return m_status; }
    // Where the player is (it moves on by itself while Playing) and how long the track is
    // (0: not known, and it cannot be sought). seeked: the position jumped, which the
    // desktop hears as Seeked.
    void SetPlayPosition(std::int64_t positionUs, bool seeked);
    void SetLength(std::int64_t lengthUs);
    std::int64_t GetPosition() const;
    std::int64_t GetLength() const { return m_track.lengthUs; }
    // The cover of the track whose url is forUrl, found later than the track began.
    void SetArtUrl(const std::string& forUrl, const std::string& artUrl);
    // The well-known name asked for on the bus ("" without a bus).
    const std::string& GetBusName() const { return m_busName; }

private:
    friend struct MprisCallbacks;
    // False for a method the player does not offer.
    bool RunMethod(const std::string& method, GVariant* parameters);
    std::string TrackId() const;
    GVariant* GetProperty(const std::string& property) const;
    GVariant* Metadata() const;
    // PropertiesChanged of the player interface for the named properties.
    void EmitChanged(std::initializer_list<const char*> properties);

    Handlers m_handlers;
    std::string m_desktopEntry;
    std::string m_identity;
    std::string m_busName;
    GDBusConnection* m_connection = nullptr;
    unsigned m_rootId = 0;
    unsigned m_playerId = 0;
    unsigned m_ownerId = 0;
    MprisTrack m_track;
    std::uint64_t m_trackSerial = 0;
    MprisStatus m_status = MprisStatus::Stopped;
    std::int64_t m_positionUs = 0;
    // Monotonic time of m_positionUs.
    std::int64_t m_positionAt = 0;
};

} // namespace mev
