#pragma once

#include <QByteArray>

#include <atomic>

// One report as the tool posts it: the body is the endpoint URL carrying the report as its query
// (fully encoded, no fragment), and the request goes to that same URL with the Veltora-Service
// header's value beside it. Nothing else is needed to post it again exactly.
struct ReportPost {
    QByteArray body;
    QByteArray service;
};

// Posts the report from the calling thread, whose own event loop drives the exchange, and waits
// for the whole answer up to report_answer_wait_ms(). True when the server answered "OK". Setting
// abandon gives the post up within a tenth of a second, unanswered.
bool post_report(const ReportPost &report, const std::atomic<bool> &abandon);
