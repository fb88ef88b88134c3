# Drawing of the trace graph and the "Trace Data" panel (Qt Gui). What they draw is computed
# in velquor_display.
add_library(velquor_trace_paint STATIC
  trace_fonts.cpp
  trace_graph_painter.cpp
  trace_panel_painter.cpp
)
target_link_libraries(velquor_trace_paint PUBLIC velquor_display Qt6::Gui)
velquor_warnings(velquor_trace_paint)
