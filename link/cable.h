#pragma once

struct ftdi_context;

constexpr int ftdi_vendor_id = 0x0403;
constexpr int service_cable_product_id = 0x8359;
constexpr int user_cable_product_id = 0x8358;
constexpr int no_cable_product_id = 0xFFFF;

// 0 with an open cable configured for the chair (4800 baud, 8N1, latency timer 15 ms);
// -1 on any failure, with the context released and cable set to null.
int open_cable(ftdi_context *&cable, int product_id);

// Lowers DTR and closes the device; 0 when both worked, -1 otherwise. The context is released
// in both cases.
int close_cable(ftdi_context *cable);
