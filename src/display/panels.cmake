# Drawing of the Measurement Data, Unit Properties and Unit Setup panels (Qt Gui). What they
# draw is computed in velquor_display.
add_library(velquor_panel_paint STATIC
  panel_style.cpp
  measurement_panel.cpp
  readout_marks_paint.cpp
  unit_panels.cpp
)
target_link_libraries(velquor_panel_paint PUBLIC velquor_display Qt6::Gui)
velquor_warnings(velquor_panel_paint)
