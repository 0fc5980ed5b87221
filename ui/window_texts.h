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
constexpr char sending_report[] = "Enviando relatório ...";
constexpr const char *progress[] = {idle,
                                    connecting,
                                    disconnecting,
                                    loading_events,
                                    clearing_events,
                                    loading_parameters,
                                    sending_parameters,
                                    sending_report};

} // namespace window_texts
