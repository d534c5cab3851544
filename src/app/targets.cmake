# The installer dialog and the program people run.
add_library(ordx_app STATIC
  installer_app.cc
  installer_dlg.cc
  cancel_signals.cc
  gtk_language.cc
  wizard_window.cc
  wizard_flow.cc)
target_link_libraries(ordx_app PUBLIC
  ordx_startup ordx_ui ordx_config ordx_engine ordx_kit ordx_fs ordx_text PkgConfig::GTK2)

add_executable(ordx-install main.cc)
target_link_libraries(ordx-install PRIVATE ordx_app)
