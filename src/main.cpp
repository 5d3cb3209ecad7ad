// The application: start-up, the frame loop, shutdown and the swap state.
#include "main.h"

#include <cstdio>

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include "context.h"
#include "glsl.h"
#include "load.h"
#include "shader.h"
#include "window.h"

GLFWwindow* window = nullptr;
unsigned int shader = 0;
unsigned int shader_plain = 0;
const char* wname = "plexorama: surface plotter";
uint8_t animate_index = 0;

void mlog(const char* message)
{
    // Flushed at once so that a pipe or a log shows how far start-up got.
    fputs(message, stdout);
    fflush(stdout);
}

void main_loop()
{
    static const float identity[4] = {0.0f, 0.0f, 0.0f, 1.0f};

    rot_matrix_load(shader, identity);
    rot_matrix_load(shader_plain, identity);
    color_load(shader, color);
    color_load(shader_plain, color);

    clean_context();
}

int start_main()
{
    mlog("[VENTANA] Inicializando...\n");
    window = init_window(512, 512, wname);
    if (!window) {
        mlog("[VENTANA] Error al inicializar...\n");
        return 1;
    }

    use_window(window);
    mlog("[CONTEXT] Inicializando...\n");
    if (!init_context()) {
        mlog("[CONTEXT] Error al inicializar...\n");
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader_plain);
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader);
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }

    set_clean_color_context(255, 255, 255);

    mlog("[SHADER] Inicializando...\n");
    shader = create_shader();
    if (!shader) {
        mlog("[SHADER] Error al inicializar...\n");
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }
    load_program_to_shader(shader, vs, 0);
    load_program_to_shader(shader, fs, 1);
    fix_matrix_load(shader, 1.0f);

    mlog("[SHADER] Inicializando...\n");
    shader_plain = create_shader();
    if (!shader_plain) {
        mlog("[SHADER] Error al inicializar...\n");
        mlog("[SHADER] Destruyendo...\n");
        destroy_shader(shader);
        mlog("[WINDOW] Destruyendo...\n");
        close_window(window);
        return 1;
    }
    load_program_to_shader(shader_plain, vs, 0);
    load_program_to_shader(shader_plain, fs_plain, 1);
    fix_matrix_load(shader_plain, 1.0f);
    return 0;
}

void stop_main()
{
    mlog("[MESH] Destruyendo...\n");
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader_plain);
    mlog("[SHADER] Destruyendo...\n");
    destroy_shader(shader);
    mlog("[WINDOW] Destruyendo...\n");
    close_window(window);
}

int run_main(const Options* options)
{
    int failed = start_main();
    if (failed)
        return failed;

    mlog("[MAIN LOOP] Inicializando...\n");
    long frames_left = options->frames;
    while (is_open_window(window) && frames_left != 0) {
        main_loop();
        if (frames_left > 0)
            frames_left--;
    }
    mlog("[MAIN LOOP] Terminando...\n");

    stop_main();
    return 0;
}
