#include "customer/customer_mode.h"
#include "report/kept_reports.h"
#include "report/report_items.h"
#include "report/report_post.h"
#include "report/report_request.h"
#include "ui/veltora_motor.h"
#include "ui/window_texts.h"
#include "ui_veltora_motor.h"

int Veltora_Motor::send_report() {
    emit set_progressbar_text(QString::fromUtf8(window_texts::sending_report));
    emit set_progressbar_maximum(0);
    run_on_gui_thread([this] { ui->main_frame->setEnabled(false); });

    // Only the chosen kind's taxpayer number is sent: the other is whatever an earlier customer
    // left in its hidden field.
    const bool company = is_company(customer_type);
    const ReportCustomer customer{customer_name,
                                  customer_email,
                                  customer_phone,
                                  customer_cep,
                                  company ? QString() : customer_cpf,
                                  company ? customer_cnpj : QString()};
    const ReportPost report{
        report_url(build_report_items(customer, cable_product_id, *panel_data, *drive_data))
            .toEncoded(QUrl::RemoveFragment),
        service_header_value(service_run, report_stage, QDateTime::currentDateTimeUtc())};

    // Reports kept from earlier runs go first, from this thread once the start's resend is over,
    // so that two posts never run at once.
    kept_resend.waitForFinished();
    resend_kept_reports(kept_folder, closing);
    const bool accepted = post_report(report, closing);
    if (!accepted) {
        // Nothing was changed before the first report: only a changed chair's report is kept.
        if (report_stage != ServiceStage::before && !keep_report(kept_folder, report))
            qWarning("The unacknowledged report could not be kept in %s",
                     qUtf8Printable(kept_folder));
        show_message(QStringLiteral("Falha ao enviar o relatório!"));
    }
    reset_progress();
    return accepted ? 0 : -8;
}
