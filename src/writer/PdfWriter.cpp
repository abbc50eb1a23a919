// Writing a new PDF file from the open document.
