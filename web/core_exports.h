// The core's calls for the page script (kestrelvue.js): one viewer per replaced <embed>, an
// offscreen window for its pixels, and the controller's operations one to one.
//
// Everything runs on the page's one thread. Strings are UTF-8; those returned belong to the
// core and stay valid until the next call on the same viewer. Ids of viewers and file
// arrivals are > 0; 0 means failure. The page calls kv_frame on every animation frame: the
// timers, the render step and the loader's transfer steps run only there.
#pragma once

#include <cstdint>

extern "C" {

// ---- Viewers and their pixels ----
int kv_create(int width, int height);
void kv_destroy(int id);
// A new window size; the open panorama is drawn again at once at that size. 0 on success.
int kv_resize(int id, int width, int height);
int kv_width(int id);
int kv_height(int id);
// Fires the due timers (the page's clock, performance.now()), runs the render and transfer
// steps, opens a panorama whose files have all arrived, and collects the requests to the
// page. 1 when the pixels changed since the last kv_pixels, else 0.
int kv_frame(int id, double nowMs);
// RGBA, width * height * 4 bytes, rows top-down, alpha 255: the window's 24-bit pixels.
const uint8_t* kv_pixels(int id);

// ---- Files the page fetched ----
int kv_file_begin(const char* url);
int kv_file_write(int handle, const uint8_t* bytes, int length);  // 0 on success
int kv_file_end(int handle, int ok);  // 0 stored; 1 dropped (ok = 0); 2 failed
void* kv_malloc(int size);
void kv_free(void* pointer);

// ---- The controller ----
// Opens the stored file of `url` (a panorama or a description) with the plug-in's five sprite
// slots: 0 opened; -1 waiting for a description's node files (fetch requests come out of
// kv_poll; the open runs by itself once they are all stored or failed, and reports with an
// "open" request); 1 failed (the text comes out of kv_poll as a "message").
int kv_open(int id, const char* url, int rate);
void kv_close(int id);
int kv_is_open(int id);
// 1 once the view stands still in its smoothed frame (the frame cache holds it): what
// `kvp render` waits for before it reads the window. Ask again with kv_request_frames(1, 1)
// while it is 0.
int kv_is_settled(int id);
int kv_request_frames(int id, int count, int mode);
int kv_set_frame_rate(int id, int rate);
int kv_get_frame_rate(int id);  // the rate, or -(status) when it cannot be read
int kv_set_view(int id, double heading, double pitch, double roll, double fov, int mode);
int kv_get_view(int id, double* out4);  // heading, pitch, roll, fov
int kv_set_heading_motion(int id, double speed, int frames, int mode);
int kv_set_pitch_motion(int id, double speed, int frames, int mode);
int kv_set_roll_motion(int id, double speed, int frames, int mode);
int kv_set_zoom_motion(int id, double speed, int frames, int mode);
int kv_set_forward_motion(int id, double speed, int frames, int mode);
int kv_set_travel_direction(int id, double heading, double pitch, int mode);
int kv_set_position(int id, double x, double y, double z, int mode);
int kv_set_view_limits(int id, int kind, const int32_t* data);  // data 0: the defaults
int kv_pick(int id, int x, int y, int* kindOut);  // index or -1; kind 2 sprite, 4 hot spot
const char* kv_hotspot_link(int id, int index);   // "" when none
// The stored sprite picture of `url` at hot spot `hotspot` in sprite slot 0, still, as the
// plug-in places a clicked ".avt" link. 1 placed, 0 not (no such hot spot, or not open).
int kv_place_sprite(int id, const char* url, int hotspot);

// ---- Requests to the page ----
// The next request as JSON, or 0 when none waits.
const char* kv_poll(int id);

}  // extern "C"
