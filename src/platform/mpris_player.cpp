#include "platform/mpris_player.hpp"

#include <algorithm>
#include <string>

#include <unistd.h>

#include <gio/gio.h>

#include "platform/session_bus.hpp"

namespace mev {

namespace {

constexpr const char* OBJECT_PATH = "/org/mpris/MediaPlayer2";
constexpr const char* PLAYER_INTERFACE = "org.mpris.MediaPlayer2.Player";
constexpr const char* NO_TRACK = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

constexpr const char* INTERFACE_XML =
    "<node>"
    "<interface name='org.mpris.MediaPlayer2'>"
    "<method name='Raise'/><method name='Quit'/>"
    "<property name='CanQuit' type='b' access='read'/>"
    "<property name='CanRaise' type='b' access='read'/>"
    "<property name='HasTrackList' type='b' access='read'/>"
    "<property name='Identity' type='s' access='read'/>"
    "<property name='DesktopEntry' type='s' access='read'/>"
    "<property name='SupportedUriSchemes' type='as' access='read'/>"
    "<property name='SupportedMimeTypes' type='as' access='read'/>"
    "</interface>"
    "<interface name='org.mpris.MediaPlayer2.Player'>"
    "<method name='Next'/><method name='Previous'/><method name='Pause'/><method name='PlayPause'/>"
    "<method name='Stop'/><method name='Play'/>"
    "<method name='Seek'><arg direction='in' type='x' name='Offset'/></method>"
    "<method name='SetPosition'><arg direction='in' type='o' name='TrackId'/>"
    "<arg direction='in' type='x' name='Position'/></method>"
    "<method name='OpenUri'><arg direction='in' type='s' name='Uri'/></method>"
    "<signal name='Seeked'><arg name='Position' type='x'/></signal>"
    "<property name='PlaybackStatus' type='s' access='read'/>"
    "<property name='Rate' type='d' access='read'/>"
    "<property name='Metadata' type='a{sv}' access='read'/>"
    "<property name='Volume' type='d' access='read'/>"
    "<property name='Position' type='x' access='read'>"
    "<annotation name='org.freedesktop.DBus.Property.EmitsChangedSignal' value='false'/></property>"
    "<property name='MinimumRate' type='d' access='read'/>"
    "<property name='MaximumRate' type='d' access='read'/>"
    "<property name='CanGoNext' type='b' access='read'/>"
    "<property name='CanGoPrevious' type='b' access='read'/>"
    "<property name='CanPlay' type='b' access='read'/>"
    "<property name='CanPause' type='b' access='read'/>"
    "<property name='CanSeek' type='b' access='read'/>"
    "<property name='CanControl' type='b' access='read'/>"
    "</interface>"
    "</node>";

GDBusNodeInfo* Interfaces()
{
    static GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(INTERFACE_XML, nullptr);
    return info;
}

const char* StatusName(MprisStatus status)
{
    switch (status) {
    case MprisStatus::Playing: return "Playing";
    case MprisStatus::Paused: return "Paused";
    case MprisStatus::Stopped: break;
    }
    return "Stopped";
}

} // namespace

struct MprisCallbacks {
    // A second copy of the program takes a name of its own, as the MPRIS rules ask.
    static void NameLost(GDBusConnection* connection, const char* name, gpointer data)
    {
        auto* self = static_cast<CMprisPlayer*>(data);
        if (connection == nullptr || g_strrstr(name, ".instance") != nullptr)
            return;
        g_bus_unown_name(self->m_ownerId);
        self->m_busName = std::string(name) + ".instance" + std::to_string(getpid());
        self->m_ownerId = g_bus_own_name_on_connection(connection, self->m_busName.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
                                                       nullptr, nullptr, nullptr, nullptr);
    }

    static void MethodCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        if (static_cast<CMprisPlayer*>(self)->RunMethod(method, parameters))
            g_dbus_method_invocation_return_value(invocation, nullptr);
        else
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_NOT_SUPPORTED,
                                                  "%s is not supported", method);
    }
    static GVariant* GetProperty(GDBusConnection*, const char*, const char*, const char*, const char* property,
                                 GError** error, gpointer self)
    {
        GVariant* value = static_cast<const CMprisPlayer*>(self)->GetProperty(property);
        if (value == nullptr)
            g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
        return value;
    }
};

namespace {

const GDBusInterfaceVTable VTABLE = {MprisCallbacks::MethodCall, MprisCallbacks::GetProperty, nullptr, {nullptr}};

} // namespace

CMprisPlayer::CMprisPlayer(Handlers handlers, const std::string& desktopEntry, const std::string& identity,
                           GDBusConnection* connection)
    : m_handlers(std::move(handlers)), m_desktopEntry(desktopEntry), m_identity(identity)
{
    m_connection = connection != nullptr ? connection : ClaimSessionBus();
    GDBusNodeInfo* info = Interfaces();
    if (m_connection == nullptr || info == nullptr)
        return;
    g_object_ref(m_connection);
    m_rootId = g_dbus_connection_register_object(m_connection, OBJECT_PATH, info->interfaces[0], &VTABLE, this,
                                                 nullptr, nullptr);
    m_playerId = g_dbus_connection_register_object(m_connection, OBJECT_PATH, info->interfaces[1], &VTABLE, this,
                                                   nullptr, nullptr);
    m_busName = std::string("org.mpris.MediaPlayer2.") + desktopEntry;
    m_ownerId = g_bus_own_name_on_connection(m_connection, m_busName.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                             nullptr, MprisCallbacks::NameLost, this, nullptr);
}

CMprisPlayer::~CMprisPlayer()
{
    if (m_connection == nullptr)
        return;
    if (m_ownerId != 0)
        g_bus_unown_name(m_ownerId);
    if (m_rootId != 0)
        g_dbus_connection_unregister_object(m_connection, m_rootId);
    if (m_playerId != 0)
        g_dbus_connection_unregister_object(m_connection, m_playerId);
    g_object_unref(m_connection);
}

void CMprisPlayer::SetTrack(const MprisTrack& track)
{
    m_track = track;
    ++m_trackSerial;
    m_positionUs = 0;
    m_positionAt = g_get_monotonic_time();
    EmitChanged({"Metadata", "CanSeek"});
}

void CMprisPlayer::SetStatus(MprisStatus status)
{
    if (status == m_status)
        return;
    // The position stands still from now, or moves on from here.
    m_positionUs = GetPosition();
    m_positionAt = g_get_monotonic_time();
    m_status = status;
    EmitChanged({"PlaybackStatus"});
}

void CMprisPlayer::SetPlayPosition(std::int64_t positionUs, bool seeked)
{
    m_positionUs = std::max<std::int64_t>(positionUs, 0);
    m_positionAt = g_get_monotonic_time();
    if (seeked && m_connection != nullptr && m_playerId != 0)
        g_dbus_connection_emit_signal(m_connection, nullptr, OBJECT_PATH, PLAYER_INTERFACE, "Seeked",
                                      g_variant_new("(x)", static_cast<gint64>(m_positionUs)), nullptr);
}

void CMprisPlayer::SetLength(std::int64_t lengthUs)
{
    lengthUs = std::max<std::int64_t>(lengthUs, 0);
    if (lengthUs == m_track.lengthUs)
        return;
    m_track.lengthUs = lengthUs;
    EmitChanged({"Metadata", "CanSeek"});
}

void CMprisPlayer::SetArtUrl(const std::string& forUrl, const std::string& artUrl)
{
    if (m_trackSerial == 0 || m_track.url != forUrl || m_track.artUrl == artUrl)
        return;
    m_track.artUrl = artUrl;
    EmitChanged({"Metadata"});
}

std::int64_t CMprisPlayer::GetPosition() const
{
    if (m_status == MprisStatus::Stopped)
        return 0;
    std::int64_t position = m_positionUs;
    if (m_status == MprisStatus::Playing)
        position += g_get_monotonic_time() - m_positionAt;
    return m_track.lengthUs > 0 ? std::min(position, m_track.lengthUs) : position;
}

std::string CMprisPlayer::TrackId() const
{
    if (m_trackSerial == 0)
        return NO_TRACK;
    return "/org/mev/MediaBrowser/Track/" + std::to_string(m_trackSerial);
}

bool CMprisPlayer::RunMethod(const std::string& method, GVariant* parameters)
{
    if (method == "Seek" || method == "SetPosition") {
        // Without a length there is nothing to seek in: the call is ignored, as CanSeek says.
        if (m_trackSerial == 0 || m_track.lengthUs <= 0)
            return true;
        if (method == "Seek") {
            gint64 offset = 0;
            g_variant_get(parameters, "(x)", &offset);
            if (m_handlers.seek)
                m_handlers.seek(offset);
            return true;
        }
        const char* trackId = nullptr;
        gint64 position = 0;
        g_variant_get(parameters, "(&ox)", &trackId, &position);
        // A stale track or a position outside the track is ignored.
        if (TrackId() == trackId && position >= 0 && position <= m_track.lengthUs && m_handlers.setPosition)
            m_handlers.setPosition(position);
        return true;
    }
    const std::function<void()>* handler = nullptr;
    if (method == "Raise")
        handler = &m_handlers.raise;
    else if (method == "Next")
        handler = &m_handlers.next;
    else if (method == "Previous")
        handler = &m_handlers.previous;
    else if (method == "Play")
        handler = &m_handlers.play;
    else if (method == "Pause")
        handler = &m_handlers.pause;
    else if (method == "PlayPause")
        handler = &m_handlers.playPause;
    else if (method == "Stop")
        handler = &m_handlers.stop;
    if (handler == nullptr)
        return false;
    if (*handler)
        (*handler)();
    return true;
}

GVariant* CMprisPlayer::GetProperty(const std::string& property) const
{
    if (property == "CanQuit" || property == "HasTrackList")
        return g_variant_new_boolean(FALSE);
    if (property == "CanSeek")
        return g_variant_new_boolean(m_trackSerial != 0 && m_track.lengthUs > 0 && m_handlers.seek);
    if (property == "CanRaise")
        return g_variant_new_boolean(static_cast<bool>(m_handlers.raise));
    if (property == "CanGoNext" || property == "CanGoPrevious" || property == "CanPlay" || property == "CanPause"
        || property == "CanControl")
        return g_variant_new_boolean(TRUE);
    if (property == "Identity")
        return g_variant_new_string(m_identity.c_str());
    if (property == "DesktopEntry")
        return g_variant_new_string(m_desktopEntry.c_str());
    if (property == "SupportedUriSchemes") {
        const char* schemes[] = {"file", nullptr};
        return g_variant_new_strv(schemes, -1);
    }
    if (property == "SupportedMimeTypes")
        return g_variant_new_strv(nullptr, 0);
    if (property == "PlaybackStatus")
        return g_variant_new_string(StatusName(m_status));
    if (property == "Rate" || property == "Volume" || property == "MinimumRate" || property == "MaximumRate")
        return g_variant_new_double(1.0);
    if (property == "Position")
        return g_variant_new_int64(GetPosition());
    if (property == "Metadata")
        return Metadata();
    return nullptr;
}

GVariant* CMprisPlayer::Metadata() const
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    if (m_trackSerial == 0) {
        g_variant_builder_add(&builder, "{sv}", "mpris:trackid", g_variant_new_object_path(NO_TRACK));
        return g_variant_builder_end(&builder);
    }
    g_variant_builder_add(&builder, "{sv}", "mpris:trackid", g_variant_new_object_path(TrackId().c_str()));
    // GVariant strings must be UTF-8; the tag text is, a file URL is ASCII.
    const auto text = [](const std::string& s) {
        return g_variant_new_string(g_utf8_validate(s.c_str(), static_cast<gssize>(s.size()), nullptr) ? s.c_str() : "");
    };
    g_variant_builder_add(&builder, "{sv}", "xesam:title", text(m_track.title));
    if (!m_track.artist.empty()) {
        const char* artists[] = {m_track.artist.c_str(), nullptr};
        if (g_utf8_validate(artists[0], -1, nullptr))
            g_variant_builder_add(&builder, "{sv}", "xesam:artist", g_variant_new_strv(artists, -1));
    }
    if (!m_track.album.empty())
        g_variant_builder_add(&builder, "{sv}", "xesam:album", text(m_track.album));
    if (!m_track.url.empty())
        g_variant_builder_add(&builder, "{sv}", "xesam:url", text(m_track.url));
    if (!m_track.artUrl.empty())
        g_variant_builder_add(&builder, "{sv}", "mpris:artUrl", text(m_track.artUrl));
    if (m_track.lengthUs > 0)
        g_variant_builder_add(&builder, "{sv}", "mpris:length", g_variant_new_int64(m_track.lengthUs));
    return g_variant_builder_end(&builder);
}

void CMprisPlayer::EmitChanged(std::initializer_list<const char*> properties)
{
    if (m_connection == nullptr || m_playerId == 0)
        return;
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    for (const char* property : properties)
        g_variant_builder_add(&changed, "{sv}", property, GetProperty(property));
    g_dbus_connection_emit_signal(m_connection, nullptr, OBJECT_PATH, "org.freedesktop.DBus.Properties",
                                  "PropertiesChanged",
                                  g_variant_new("(sa{sv}as)", PLAYER_INTERFACE, &changed, nullptr), nullptr);
}

} // namespace mev
