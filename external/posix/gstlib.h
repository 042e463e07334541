// GStreamer loaded when first needed: the functions the platform decoder calls are pointers
// filled from the shared libraries, so a run that never decodes through it never loads them.
#pragma once

// Casts without run-time type checks, which would call into the library.
#ifndef G_DISABLE_CAST_CHECKS
#define G_DISABLE_CAST_CHECKS 1
#endif
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

namespace gstlib {

// clang-format off
#define TAMBER_GST_FUNCTIONS(X) \
    X(gst_init_check) X(gst_element_get_static_pad) X(gst_pad_is_linked) \
    X(gst_pad_get_current_caps) X(gst_pad_query_caps) X(gst_caps_get_size) \
    X(gst_structure_get_name) X(gst_caps_get_structure) X(gst_pad_link) \
    X(gst_mini_object_unref) X(gst_object_unref) X(gst_element_set_state) X(gst_pipeline_new) \
    X(gst_element_factory_make) X(gst_bin_add_many) X(gst_caps_from_string) \
    X(gst_app_sink_set_caps) X(g_object_set) X(gst_element_link) X(gst_filename_to_uri) \
    X(g_free) X(g_signal_connect_data) X(gst_element_get_bus) X(gst_sample_get_caps) \
    X(gst_structure_get_int) X(gst_sample_get_buffer) X(gst_buffer_map) X(gst_buffer_unmap) \
    X(gst_app_sink_try_pull_sample) X(gst_app_sink_is_eos) X(gst_element_query_duration) \
    X(gst_bus_pop_filtered) X(gst_message_parse_error) X(g_error_free) \
    X(g_object_class_find_property)
// clang-format on

// Within this namespace a call by the plain name goes through the pointer.
#define TAMBER_GST_DECLARE(name) inline decltype(&::name) name = nullptr;
TAMBER_GST_FUNCTIONS(TAMBER_GST_DECLARE)
#undef TAMBER_GST_DECLARE

// The headers' inline reference helpers, through the loaded function (objects, not functions,
// so that a call never also finds the headers' own versions by argument type).
inline constexpr auto gst_caps_unref = [](GstCaps* caps) {
    gst_mini_object_unref(GST_MINI_OBJECT_CAST(caps));
};
inline constexpr auto gst_sample_unref = [](GstSample* sample) {
    gst_mini_object_unref(GST_MINI_OBJECT_CAST(sample));
};
inline constexpr auto gst_message_unref = [](GstMessage* message) {
    gst_mini_object_unref(GST_MINI_OBJECT_CAST(message));
};

// Loads the libraries and every function, and starts GStreamer, once; false when it is not
// installed or does not start.
bool Load();

}  // namespace gstlib
