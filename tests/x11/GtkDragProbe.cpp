// A GTK 3 program for the X11 suites, as a drop target or a drag source.
//
//   tarvo-test-gtk-probe target --class NAME --geometry X,Y,W,H --folder DIR
//       Accepts every drag. Prints "enter TYPE..." with what it is offered,
//       "leave", and at a drop reads every offered type in turn, printing
//       "read TYPE BYTES" for each (0 when the answer was empty or refused),
//       then "dropped". A direct save is asked to write into DIR under the
//       name the source suggests. With --take-nothing it finishes every drop
//       as a success without reading anything, as some editors do.
//   tarvo-test-gtk-probe source --class NAME --geometry X,Y,W,H (--uri PATH | --text TEXT)
//       Starts a GTK drag of a file's URI (its one type) or of a text (the
//       text types) when the pointer, pressed on it, passes the drag
//       threshold. Prints "dropped" when the drag ends.
// Both print "ready X Y" once the window shows, with its centre in root
// pixels.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char* folder = "/tmp";
const char* uriPath = nullptr;
const char* text = nullptr;

GList* pending = nullptr; /* targets still to read at a drop */
gboolean entered = FALSE;
gboolean takeNothing = FALSE;

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

gboolean announce(gpointer data) {
    GtkWidget* window = static_cast<GtkWidget*>(data);
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
    const gint scale = gtk_widget_get_scale_factor(window);
    say("ready %d %d", (x + gtk_widget_get_allocated_width(window) / 2) * scale,
        (y + gtk_widget_get_allocated_height(window) / 2) * scale);
    return G_SOURCE_REMOVE;
}

gboolean mapped(GtkWidget* window, GdkEvent* event, gpointer data) {
    (void)event;
    (void)data;
    /* Once the window manager has placed it. */
    g_timeout_add(400, announce, window);
    return FALSE;
}

/* The target's side. */

gboolean motion(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                gpointer data) {
    (void)widget;
    (void)x;
    (void)y;
    (void)data;
    if (!entered) {
        entered = TRUE;
        GString* line = g_string_new("enter");
        for (GList* t = gdk_drag_context_list_targets(context); t; t = t->next) {
            gchar* name = gdk_atom_name(GDK_POINTER_TO_ATOM(t->data));
            g_string_append_printf(line, " %s", name);
            g_free(name);
        }
        say("%s", line->str);
        g_string_free(line, TRUE);
    }
    gdk_drag_status(context, GDK_ACTION_COPY, time);
    return TRUE;
}

void left(GtkWidget* widget, GdkDragContext* context, guint time, gpointer data) {
    (void)widget;
    (void)context;
    (void)time;
    (void)data;
    if (entered)
        say("leave");
    entered = FALSE;
}

/* The direct-save protocol: the place goes on the source's window first. */
void namePlace(GdkDragContext* context) {
    GdkWindow* source = gdk_drag_context_get_source_window(context);
    if (!source)
        return;
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(source));
    const Window xid = GDK_WINDOW_XID(source);
    const Atom xds = XInternAtom(display, "XdndDirectSave0", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* suggested = nullptr;
    gchar* name = nullptr;
    if (XGetWindowProperty(display, xid, xds, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &after, &suggested) == Success &&
        suggested && count > 0)
        name = g_path_get_basename(reinterpret_cast<const char*>(suggested));
    if (suggested)
        XFree(suggested);
    char host[256] = {0};
    gethostname(host, sizeof host - 1);
    gchar* place = g_build_filename(folder, name ? name : "unnamed", nullptr);
    gchar* uri = g_strdup_printf("file://%s%s", host, place);
    XChangeProperty(display, xid, xds, XInternAtom(display, "text/plain", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(uri),
                    static_cast<int>(std::strlen(uri)));
    XFlush(display);
    say("save %s", place);
    g_free(uri);
    g_free(place);
    g_free(name);
}

void readNext(GtkWidget* widget, GdkDragContext* context, guint time) {
    if (!pending) {
        say("dropped");
        gtk_drag_finish(context, TRUE, FALSE, time);
        return;
    }
    GdkAtom target = GDK_POINTER_TO_ATOM(pending->data);
    pending = g_list_delete_link(pending, pending);
    gchar* name = gdk_atom_name(target);
    if (strcmp(name, "XdndDirectSave0") == 0)
        namePlace(context);
    g_free(name);
    gtk_drag_get_data(widget, context, target, time);
}

gboolean dropped(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                 gpointer data) {
    (void)x;
    (void)y;
    (void)data;
    entered = FALSE;
    g_list_free(pending);
    pending = takeNothing ? nullptr : g_list_copy(gdk_drag_context_list_targets(context));
    readNext(widget, context, time);
    return TRUE;
}

void received(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
              GtkSelectionData* selection, guint info, guint time, gpointer data) {
    (void)x;
    (void)y;
    (void)info;
    (void)data;
    gchar* name = gdk_atom_name(gtk_selection_data_get_target(selection));
    const gint length = gtk_selection_data_get_length(selection);
    say("read %s %d", name, length > 0 ? length : 0);
    g_free(name);
    readNext(widget, context, time);
}

/* The source's side. */

void dataGet(GtkWidget* widget, GdkDragContext* context, GtkSelectionData* selection, guint info,
             guint time, gpointer data) {
    (void)widget;
    (void)context;
    (void)info;
    (void)time;
    (void)data;
    if (uriPath) {
        gchar* uri = g_filename_to_uri(uriPath, nullptr, nullptr);
        gchar* uris[] = {uri, nullptr};
        gtk_selection_data_set_uris(selection, uris);
        g_free(uri);
    } else if (text) {
        gtk_selection_data_set_text(selection, text, -1);
    }
}

void dragEnded(GtkWidget* widget, GdkDragContext* context, gpointer data) {
    (void)widget;
    (void)context;
    (void)data;
    say("dropped");
}

} // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "target";
    const char* windowClass = "probe";
    int x = 100, y = 100, w = 300, h = 200;
    for (int i = 2; i < argc; i += 2) {
        if (strcmp(argv[i], "--take-nothing") == 0) {
            takeNothing = TRUE;
            --i;
        } else if (i + 1 >= argc)
            break;
        else if (strcmp(argv[i], "--class") == 0)
            windowClass = argv[i + 1];
        else if (strcmp(argv[i], "--geometry") == 0)
            sscanf(argv[i + 1], "%d,%d,%d,%d", &x, &y, &w, &h);
        else if (strcmp(argv[i], "--folder") == 0)
            folder = argv[i + 1];
        else if (strcmp(argv[i], "--uri") == 0)
            uriPath = argv[i + 1];
        else if (strcmp(argv[i], "--text") == 0)
            text = argv[i + 1];
    }
    g_set_prgname(windowClass);
    gdk_set_program_class(windowClass);
    gtk_init(nullptr, nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), windowClass);
    gtk_window_set_default_size(GTK_WINDOW(window), w, h);
    gtk_window_move(GTK_WINDOW(window), x, y);
    GtkWidget* area = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(window), area);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(mapped), nullptr);

    if (strcmp(mode, "source") == 0) {
        GtkTargetList* targets = gtk_target_list_new(nullptr, 0);
        if (uriPath)
            gtk_target_list_add_uri_targets(targets, 0);
        else
            gtk_target_list_add_text_targets(targets, 0);
        gtk_drag_source_set(area, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
        gtk_drag_source_set_target_list(area, targets);
        gtk_target_list_unref(targets);
        g_signal_connect(area, "drag-data-get", G_CALLBACK(dataGet), nullptr);
        g_signal_connect(area, "drag-end", G_CALLBACK(dragEnded), nullptr);
    } else {
        gtk_drag_dest_set(area, GtkDestDefaults(0), nullptr, 0,
                          GdkDragAction(GDK_ACTION_COPY | GDK_ACTION_MOVE));
        g_signal_connect(area, "drag-motion", G_CALLBACK(motion), nullptr);
        g_signal_connect(area, "drag-leave", G_CALLBACK(left), nullptr);
        g_signal_connect(area, "drag-drop", G_CALLBACK(dropped), nullptr);
        g_signal_connect(area, "drag-data-received", G_CALLBACK(received), nullptr);
    }
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
