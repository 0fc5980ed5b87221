#pragma once

// Texts the window's widgets show only after start, each kept here once so that the window's font
// can be fitted to them before they ever appear.
namespace window_texts {

// The progress label: idle, then what each job is doing.
constexpr char idle[] = "Veltora Zazurad";
constexpr char connecting[] = "Conectando ...";
constexpr char disconnecting[] = "Desconectando ...";
constexpr char loading_events[] = "Carregando Eventos ...";
constexpr char clearing_events[] = "Limpando Eventos ...";
constexpr char loading_parameters[] = "Carregando Parâmetros ...";
constexpr char sending_parameters[] = "Enviando Parâmetros ...";
constexpr char verifying_parameters[] = "Conferindo Parâmetros ...";
constexpr char sending_report[] = "Enviando relatório ...";
constexpr const char *progress[] = {idle,
                                    connecting,
                                    disconnecting,
                                    loading_events,
                                    clearing_events,
                                    loading_parameters,
                                    sending_parameters,
                                    verifying_parameters,
                                    sending_report};

// The customer's name and taxpayer labels, for a person and for a company.
constexpr char person_name[] = "Nome";
constexpr char company_name[] = "Razão Social";
constexpr char person_taxpayer[] = "CPF";
constexpr char company_taxpayer[] = "CNPJ";

// The drive's serial number when it is not valid, and the widest identity the drive may show.
constexpr char invalid_serial[] = "Serial Inválido";
constexpr char widest_serial[] = "ABCDEF999999";
constexpr char widest_versions[] = "255.255 / 255.255";

// A CNPJ of the alphanumeric kind, whose letters are wider than the digits of the older one.
constexpr char alphanumeric_cnpj[] = "12.ABC.345/01DE-35";

} // namespace window_texts
