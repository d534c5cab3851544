# The wizard's building blocks: pages, message boxes, pictures. The console
# presenter lives here too, but nothing in it needs a display.
add_library(ordx_ui STATIC
  presenter.cc
  message_box.cc
  images.cc
  wizard_page.cc
  message_page.cc
  dir_select_page.cc
  progress_page.cc
  text_fit.cc
  wizard_button.cc
  preparing_window.cc)
target_link_libraries(ordx_ui PUBLIC ordx_text PkgConfig::GTK2)
