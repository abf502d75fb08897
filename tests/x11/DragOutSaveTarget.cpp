// A drop target that speaks the direct-save protocol (XDS), as file managers
// do: it accepts a drag that offers "XdndDirectSave0", and at the drop names
// a place in its folder for the file, asks the source to save it there and
// finishes with what the source answered.
//   tarvo-test-dragout-save-target --class NAME --geometry x,y,w,h --folder DIR
// Prints, one line each: "ready X Y" (the window's centre in root pixels),
// "enter TYPE...", "leave", and after a
// drop "saved PATH CODE" with the source's answer (S, F or E).
#include <xcb/xcb.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t window = XCB_NONE;

xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return value;
}

std::string atomName(xcb_atom_t a) {
    xcb_get_atom_name_reply_t* reply = xcb_get_atom_name_reply(c, xcb_get_atom_name(c, a), nullptr);
    if (!reply)
        return {};
    std::string name(xcb_get_atom_name_name(reply),
                     static_cast<std::size_t>(xcb_get_atom_name_name_length(reply)));
    std::free(reply);
    return name;
}

std::string property(xcb_window_t w, xcb_atom_t p, xcb_atom_t* type = nullptr) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, p, XCB_GET_PROPERTY_TYPE_ANY, 0, 65536), nullptr);
    if (!reply)
        return {};
    if (type)
        *type = reply->type;
    std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                      static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    return value;
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void send(xcb_window_t to, const char* type, uint32_t a, uint32_t b, uint32_t d, uint32_t e) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = to;
    event.type = atom(type);
    event.data.data32[0] = window;
    event.data.data32[1] = a;
    event.data.data32[2] = b;
    event.data.data32[3] = d;
    event.data.data32[4] = e;
    xcb_send_event(c, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

} // namespace

// A path as file managers put it in a URI: every byte but the unreserved
// ones and the slashes percent-encoded.
static std::string encoded(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int main(int argc, char** argv) {
    std::string windowClass = "thunar";
    std::string folder = "/tmp";
    int x = 100, y = 100, w = 300, h = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--class")
            windowClass = argv[i + 1];
        else if (option == "--folder")
            folder = argv[i + 1];
        else if (option == "--geometry")
            std::sscanf(argv[i + 1], "%d,%d,%d,%d", &x, &y, &w, &h);
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                                        XCB_EVENT_MASK_EXPOSURE |
                                                        XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(w), static_cast<uint16_t>(h),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const std::string wmClass = windowClass + '\0' + windowClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(wmClass.size()), wmClass.data());
    const uint32_t pid = static_cast<uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    const uint32_t version = 5;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom("XdndAware"), XCB_ATOM_ATOM, 32, 1,
                        &version);
    // Where the window manager should put it: exactly here.
    uint32_t hints[18] = {};
    hints[0] = 1 | 2; // user position and size
    hints[1] = static_cast<uint32_t>(x);
    hints[2] = static_cast<uint32_t>(y);
    hints[3] = static_cast<uint32_t>(w);
    hints[4] = static_cast<uint32_t>(h);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c, window);
    xcb_flush(c);

    char host[256] = {};
    gethostname(host, sizeof host - 1);
    xcb_window_t source = XCB_NONE;
    bool offersSave = false;
    bool announced = false;
    std::string place;

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_EXPOSE && !announced) {
            announced = true;
            xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
                c,
                xcb_translate_coordinates(c, window, screen->root, static_cast<int16_t>(w / 2),
                                          static_cast<int16_t>(h / 2)),
                nullptr);
            say("ready " + std::to_string(at ? at->dst_x : 0) + " " +
                std::to_string(at ? at->dst_y : 0));
            std::free(at);
        } else if (type == XCB_CLIENT_MESSAGE) {
            const auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
            const std::string name = atomName(m->type);
            if (name == "XdndEnter") {
                source = m->data.data32[0];
                std::vector<xcb_atom_t> types;
                if (m->data.data32[1] & 1) {
                    const std::string list = property(source, atom("XdndTypeList"));
                    types.resize(list.size() / 4);
                    std::memcpy(types.data(), list.data(), types.size() * 4);
                } else {
                    for (int i = 2; i < 5; ++i)
                        if (m->data.data32[i] != XCB_NONE)
                            types.push_back(m->data.data32[i]);
                }
                std::string line = "enter";
                offersSave = false;
                for (xcb_atom_t t : types) {
                    const std::string n = atomName(t);
                    offersSave = offersSave || n == "XdndDirectSave0";
                    line += ' ' + n;
                }
                say(line);
            } else if (name == "XdndPosition") {
                send(source, "XdndStatus", offersSave ? 1 : 0, 0, 0,
                     offersSave ? atom("XdndActionCopy") : XCB_NONE);
            } else if (name == "XdndLeave") {
                say("leave");
            } else if (name == "XdndDrop") {
                const std::string suggested = property(source, atom("XdndDirectSave0"));
                place = folder + "/" + suggested;
                const std::string uri = std::string("file://") + host + encoded(place);
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, source, atom("XdndDirectSave0"),
                                    atom("text/plain"), 8, static_cast<uint32_t>(uri.size()),
                                    uri.data());
                xcb_convert_selection(c, window, atom("XdndSelection"), atom("XdndDirectSave0"),
                                      atom("TARVO_TEST_SAVE"), m->data.data32[2]);
                xcb_flush(c);
            }
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            const std::string code =
                n->property == XCB_NONE ? std::string("none") : property(window, n->property);
            say("saved " + place + " " + code);
            const bool saved = code == "S";
            send(source, "XdndFinished", saved ? 1 : 0, saved ? atom("XdndActionCopy") : XCB_NONE,
                 0, 0);
        }
        std::free(event);
    }
    return 0;
}
