#include "ui/web/page_stream.hpp"

#include "ui/web/page_request.hpp"

namespace {

struct MevPageStream {
    GInputStream parent;
    std::shared_ptr<mev::CPageRequest>* request;
};

struct MevPageStreamClass {
    GInputStreamClass parentClass;
};

GType mev_page_stream_get_type();
G_DEFINE_TYPE(MevPageStream, mev_page_stream, G_TYPE_INPUT_STREAM)

mev::CPageRequest& RequestOf(GInputStream* stream)
{
    return **reinterpret_cast<MevPageStream*>(stream)->request;
}

gssize ReadSync(GInputStream*, void*, gsize, GCancellable*, GError** error)
{
    // The page is produced on the main loop's schedule; a blocking read could only wait
    // for a loop it would be blocking itself.
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "page streams are read asynchronously");
    return -1;
}

void ReadAsync(GInputStream* stream, void* buffer, gsize count, int, GCancellable* cancellable,
               GAsyncReadyCallback callback, gpointer userData)
{
    GTask* task = g_task_new(stream, cancellable, callback, userData);
    g_task_set_source_tag(task, reinterpret_cast<gpointer>(&ReadAsync));
    RequestOf(stream).BeginRead(task, buffer, count, cancellable);
}

gssize ReadFinish(GInputStream*, GAsyncResult* result, GError** error)
{
    return g_task_propagate_int(G_TASK(result), error);
}

gboolean CloseSync(GInputStream* stream, GCancellable*, GError**)
{
    RequestOf(stream).Close();
    return TRUE;
}

// GIO's default would close on a worker thread; the request belongs to the main loop.
void CloseAsync(GInputStream* stream, int, GCancellable* cancellable, GAsyncReadyCallback callback,
                gpointer userData)
{
    GTask* task = g_task_new(stream, cancellable, callback, userData);
    RequestOf(stream).Close();
    g_task_return_boolean(task, TRUE);
    g_object_unref(task);
}

gboolean CloseFinish(GInputStream*, GAsyncResult* result, GError** error)
{
    return g_task_propagate_boolean(G_TASK(result), error);
}

void Finalize(GObject* object)
{
    delete reinterpret_cast<MevPageStream*>(object)->request;
    G_OBJECT_CLASS(mev_page_stream_parent_class)->finalize(object);
}

void mev_page_stream_class_init(MevPageStreamClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = &Finalize;
    auto* stream = G_INPUT_STREAM_CLASS(klass);
    stream->read_fn = &ReadSync;
    stream->read_async = &ReadAsync;
    stream->read_finish = &ReadFinish;
    stream->close_fn = &CloseSync;
    stream->close_async = &CloseAsync;
    stream->close_finish = &CloseFinish;
}

void mev_page_stream_init(MevPageStream* self)
{
    self->request = nullptr;
}

} // namespace

namespace mev {

GInputStream* NewPageStream(std::shared_ptr<CPageRequest> request)
{
    auto* stream = static_cast<MevPageStream*>(g_object_new(mev_page_stream_get_type(), nullptr));
    stream->request = new std::shared_ptr<CPageRequest>(std::move(request));
    return G_INPUT_STREAM(stream);
}

} // namespace mev
